// The windows' wording of file and character problems, in Japanese like the
// rest of the windows.  The core words its errors in English for `qmt`;
// what the windows show is put together here from what the error carries.
#pragma once

#include <QString>
#include <exception>

namespace qmt {

// An error number (errno) as the windows word it: "ファイルがありません".
QString ErrnoText(int code);

// "「path」を読めません: 理由" and the like for a FileError; another error's
// own text.
QString FileErrorText(const std::exception& error);

// "N行目の文字 U+XXXX (c) はシフトJISで表せません" for the first character of
// `text` that code page 932 cannot hold (host/unconvertible_text.h); empty
// when there is none.
QString UnconvertibleText(const QString& text, int firstLine = 1, bool showCharacter = true);

}  // namespace qmt
