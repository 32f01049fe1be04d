#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>

// Value conventions shared by every form and by the server.
namespace schema {

// Removes every character up to code 32 (spaces, tabs, control characters) at both ends.
QString trim(QStringView text);
// The same on UTF-8 bytes (those characters are single bytes in it), without making a string.
QByteArrayView trimUtf8(QByteArrayView text);

// Length of the text in bytes of its GBK encoding: a character below 128 counts 1, any other
// character 2 (GBK has no longer sequences).
int gbkLength(QStringView text);

// The year-month test: the trimmed text is exactly 6 bytes long in GBK ("198001", "abcdef",
// three Chinese characters). Digits, months and years are not examined.
bool isYearMonth(QStringView text);

// "无": the placeholder the single-row pages show for null and store for an empty box.
inline const QString kNone = QStringLiteral("无");

// Loading rule of the record pages: null shows as "无", anything else as its trimmed text.
QString shownValue(const QVariant& value);

// Saving rule of the record pages: an empty box stores "无", anything else its trimmed text
// (so a box holding only blanks stores the empty string).
QString storedValue(const QString& text);

}  // namespace schema
