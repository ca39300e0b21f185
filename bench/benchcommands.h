#pragma once

#include <QStringList>
#include <QTextStream>

// The measurements brimo-bench can make, one per command. Each prints its
// figures on stdout as "name value" lines, for bench/run to collect, and
// returns the process exit code.

// fetch SYSNO COUNT FOLDER: a ping, then COUNT downloads of SYSNO's image
// through the web service client from the service $BRIMO_SERVICE_HOST names,
// each kept in FOLDER as the utility keeps it beside its work file.
int runFetch(const QStringList &arguments);
// upload IMAGE REGEND SYSNO COUNT STAMPTOOL WORKDIR: COUNT flashes of the image
// file up to the start of the flash tool.
int runUpload(const QStringList &arguments);
// memory SYSNO STAMPTOOL WORKDIR: one download and flash, with the resident
// memory before and at its peak.
int runMemory(const QStringList &arguments);
// check IMAGE REGEND COUNT: COUNT checks of the image file as a downloaded
// update image, each timed.
int runCheck(const QStringList &arguments);
// probe COUNT: COUNT port probes, each answered by "$GP" at a random instant.
int runProbe(const QStringList &arguments);
// settings FOLDER COUNT: COUNT reads of the three settings from the largest
// settings file that is read and from one of about 1 MiB, each timed.
int runSettings(const QStringList &arguments);

template <typename Value> void report(const char *name, Value value)
{
    QTextStream(stdout) << name << ' ' << value << Qt::endl;
}
