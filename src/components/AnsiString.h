#pragma once

#include <QString>

#include <string>
#include <string_view>

// The one crossing between the model's Windows-1252 byte strings and Qt's UTF-16 strings.

// Every byte has a meaning: the five bytes Windows-1252 leaves undefined map to the C1
// controls of the same value, so any model string survives a trip through Qt unchanged.
QString AnsiToQt(std::string_view text);

// Characters that Windows-1252 cannot hold become '?'; callers that must keep them
// (the RTF writer) escape them before they get here.
std::string QtToAnsi(const QString& text);

// The Windows-1252 byte for a UTF-16 unit, or -1 when the code page has none.
int AnsiByteFor(char16_t unit);

// The UTF-16 unit a Windows-1252 byte stands for.
char16_t AnsiUnitFor(unsigned char byte);
