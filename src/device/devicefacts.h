#pragma once

#include <QString>
#include <QtGlobal>

namespace brimo {

// What the utility knows of a Brimo device and of the flash tool that reads
// and writes it, in one place: the device link, the port search, the update
// image's check and the update session all read it from here.

// The flash tool, in the program's folder, and the work file it reads from
// or writes to, beside it.
inline const QString kFlashTool = QStringLiteral("sirfflashcl.exe");
inline const QString kWorkFileName = QStringLiteral("nf.dat");
// The tool's options: its speed on the serial line and the port's number
// (which follows them), then a read of the identity block into the work file,
// or a write of the image in it.
inline constexpr char kToolPortOptions[] = " -b 57600 -l ";
inline constexpr char kReadIdentityOptions[] = " -r -f 0x080000 -t 0x080020";
inline constexpr char kWriteImageOptions[] = " -o 0 -c 0";

// The identity block that read dumps: the 32 bytes from 0x080000. Its bytes
// at 0x080010 to 0x080017 are the system number, 8 characters; those at
// 0x080018 to 0x08001F the identity tail. No one but the device's own
// identity record may write between kIdentityFirst and kIdentityLast.
inline constexpr quint32 kIdentityBlock = 0x080000;
inline constexpr quint32 kIdentityFirst = 0x080010;
inline constexpr quint32 kIdentityLast = 0x08001F;
inline constexpr int kSystemNumberLength = 8;
inline constexpr int kRegEndLength = 16; // the identity tail, in hexadecimal digits

// Every update image carries the device's identity as one record of 46
// characters that begins with these 12: "S3", count "15", address "00080010".
// Then the system number's 8 characters as hexadecimal codes, the identity
// tail, and the checksum.
inline constexpr char kIdentityRecordStart[] = "S31500080010";
inline constexpr int kIdentityRecordLength = 46;
// A shorter text cannot be an image of the device's database.
inline constexpr qint64 kMinimumImageSize = 1000;

// In its NORMAL mode the device streams NMEA sentences, which begin with the
// GPS talker's prefix, on a line with these settings.
inline constexpr char kNmeaPrefix[] = "$GP";
inline constexpr char kLineSettings[] = "9600,N,8,1";

} // namespace brimo
