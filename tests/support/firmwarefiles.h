// SPDX-License-Identifier: MIT
#pragma once
// Small firmware files for tests, made in memory: Intel HEX records and
// images, Xilinx .bit files, and writing them into a folder.
#include <QByteArray>
#include <QMap>
#include <QString>

namespace firmwarefiles {

// One Intel HEX record with its checksum, without a line end,
// e.g. hexRecord(0x00, 0x0010, "ab") gives ":020010006162..".
QByteArray hexRecord(int type, unsigned address, const QByteArray& data);
extern const QByteArray kHexEnd;  // ":00000001FF"

// Intel HEX for chunks of bytes by start address (below 64 KiB): 16-byte
// data records, then the end record; lines end with `lineEnd`.
QByteArray intelHex(const QMap<unsigned, QByteArray>& chunks, const QByteArray& lineEnd = "\n");

// A big-endian number of `bytes` bytes.
QByteArray bigEndian(quint64 value, int bytes);
// A .bit text field: key, 2-byte length, text and its NUL.
QByteArray bitField(char key, const QByteArray& text);
extern const QByteArray kBitPreamble;
// A whole .bit file for `part` whose bitstream (dummy words, the sync word,
// then filler) is `bits` bytes long; the design field is
// "<design>;UserID=0xFFFFFFFF".
QByteArray bitFile(const QByteArray& part = "3s500efg320", int bits = 64, const QByteArray& design = "demo.ncd");

// Writes `content` to `path`; fails the process if it cannot.
QString writeFile(const QString& path, const QByteArray& content);
// The whole content of a file (empty if there is none).
QByteArray readFile(const QString& path);

}  // namespace firmwarefiles
