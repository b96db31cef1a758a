#pragma once

#include <QString>

namespace quorvel {

// The scripts box's text with its line breaks as the file wants them: Enter ends a paragraph
// (U+2029), Shift+Enter a line within one (U+2028), and both become CR LF. Every other
// character, CR and LF included, is kept as it is.
QString withCrlfBreaks(const QString& raw);

} // namespace quorvel
