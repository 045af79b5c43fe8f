// Conversions between what the address box holds (a QString whose line
// breaks are "\n") and the engine's Text (code page 936, line breaks CR LF).
#pragma once

#include <QString>

#include "text/types.h"

namespace varnelo::gui {

// `text` as the box shows it: code page 936 decoded, and every CR LF, bare CR
// and bare LF a line break of the box. Empty text gives an empty string.
QString boxTextFromText(const Text& text);

// The box content `shown` as code page 936 text with every line break (CR LF,
// bare CR or bare LF) written as CR LF; characters 936 cannot hold become
// "?", and the text ends at a NUL character. Empty gives empty.
Text textFromBoxText(const QString& shown);

}  // namespace varnelo::gui
