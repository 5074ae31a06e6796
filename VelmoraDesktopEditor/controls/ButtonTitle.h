#pragma once

#include <QString>

namespace velmora::ButtonTitle {

// `title` as a button shows it: Qt reads a single "&" in a button's text as the mark of a
// keyboard mnemonic (dropping it and underlining the next letter), so every "&" is doubled to
// be shown as it is, as in "Choose Output & Export" or a clip named "Tom & Jerry.mp4".
inline QString literal(QString title)
{
    return title.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace velmora::ButtonTitle
