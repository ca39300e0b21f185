#pragma once

#include "platform/places.h"
#include "settings/settingsstore.h"
#include "webservice/webservice.h"

#include <QDir>
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

// The places of a benchmark's utility: its folder, the service
// $BRIMO_SERVICE_HOST names and the settings in a file there.
inline brimo::Places benchPlaces(const QString &folder)
{
    brimo::Places places;
    places.appFolder = folder;
    places.serviceHost = qEnvironmentVariable("BRIMO_SERVICE_HOST");
    places.settingsFile = QDir(folder).filePath(QStringLiteral("settings"));
    return places;
}

// The web service client as the utility has it, its settings stored nowhere
// else, each state of a request ignored.
struct BenchService {
    explicit BenchService(const brimo::Places &places)
        : store(places.settingsFile), service(places.serviceHost, places.appFolder, store)
    {}
    bool ping() { return service.ping(ignored).iResponseCode == 200; }
    brimo::response fetch(const QString &systemNumber)
    {
        return service.UpdateDevice(systemNumber, ignored);
    }

    static void ignored(qint16) {}
    brimo::RegistryStore store;
    brimo::webservice service;
};
