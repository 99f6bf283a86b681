// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The .reg text of the settings file ("Windows Registry Editor Version 5.00").
//
// Read: UTF-8 with or without a byte-order mark, and UTF-16 (little or big
// endian) as the Windows registry editor exports it: with a byte-order mark,
// or without one when the text starts with an ASCII character. Line ends CRLF
// or LF, mixed too. Blank lines and lines starting with ';' are skipped; a
// value in hex form may go on over lines ending in '\'. In a UTF-16 file the
// hex data of string types (1, 2, 7) is UTF-16 as on Windows and is kept as
// UTF-8, as this store keeps strings. A value written in a form other than a
// quoted string, dword: or hex: (such as qword:) is skipped, not refused.
// Anything else malformed refuses the whole text.
//
// Written: always UTF-8 with LF line ends and no byte-order mark.

#include "platform/registry/regmodel.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

struct RegParseError {
    enum Kind {
        None,
        TooLarge,
        NotText, // no line named: the file is no text at all
        BadBytes, // not UTF-8
        BadCharacter, // a UTF-16 surrogate without its pair
        CutCharacter, // UTF-16 that ends in half a character
        MissingHeader,
        BadKey,
        ValueOutsideKey,
        BadValue,
        UnknownLine,
        ZeroCharacter,
    };
    Kind kind = None;
    qsizetype line = 0; // counted from 1; 0 where no line applies

    // The reason in the user's language, with the line where one applies.
    QString message() const;
};

class RegistryFile {
public:
    static constexpr char header[] = "Windows Registry Editor Version 5.00";
    // Read too, never written.
    static constexpr char olderHeader[] = "REGEDIT4";
    // Larger texts are refused rather than read into memory.
    static constexpr qint64 maxSize = 64 * 1024 * 1024;

    // On failure out is left untouched and error says what and where.
    static bool parse(QByteArrayView text, RegStore& out, RegParseError& error);
    static bool parse(QByteArrayView text, RegStore& out, QString* error = nullptr);
    static QByteArray serialize(const RegStore& store);
};

} // namespace platform
