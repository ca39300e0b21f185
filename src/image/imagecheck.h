#pragma once

#include "device/devicefacts.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace brimo {

// What the utility accepts as an update image before it is kept, and why it
// refuses one. Each check gives one log line saying what is wrong, or the
// empty text when nothing is.

// The identity tail from the "REGEND" header: 16 hexadecimal digits.
QString regEndProblem(const QByteArray &regEnd);

// Checks an update image a piece at a time, as it arrives: the identity tail
// as above; every line a record ("S", a record type 0 to 3 or 5 to 9, then
// hexadecimal digits in pairs, the first pair the count of the pairs after
// it, the last pair the checksum) ending in LF or CR LF (the last one
// may end the text instead), and the last line, and only that one, a
// termination record (S7, S8 or S9); a download cut short at a line boundary
// lacks the last. The device's identity (kIdentityFirst to kIdentityLast) may be written
// by whole identity records only, all of them alike: each copy becomes the
// device's own record before the flash, and anything else would leave the
// device with another's identity. A line is judged on its first 515
// characters, more than any record has, so a line of any length costs no
// more than that.
class ImageCheck {
public:
    void add(QByteArrayView piece);
    // Why the whole text with this identity tail is no image, or the empty
    // text. Ends the check.
    QString finish(const QByteArray &regEnd);
    // True once a problem has been found: the rest cannot mend it.
    bool failed() const { return !m_problem.isEmpty(); }
    // Where each identity record starts, counted in bytes from the start.
    const QList<qint64> &identityAt() const { return m_identityAt; }

private:
    void checkLine(QByteArrayView line, qint64 start);
    // Why the well-formed record on the current line, which writes to the
    // device's identity, must not be flashed.
    QString identityProblem(QByteArrayView record, qint64 start);

    QString m_problem;
    QByteArray m_pending; // the start of a line that goes on in the next piece
    qint64 m_offset = 0;  // bytes added so far
    qint64 m_lineStart = 0;
    qsizetype m_lines = 0;
    bool m_terminated = false;
    QByteArray m_identity; // the first identity record
    qsizetype m_identityLine = 0;
    QList<qint64> m_identityAt;
};

} // namespace brimo
