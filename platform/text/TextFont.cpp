#include "platform/text/TextFont.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "platform/text/TextEngine.h"

namespace velmora {

namespace {

struct Alias {
    const char* name;
    const char* installed;
};

// Families that jobs written on other systems name, with the installed family of identical
// metrics that lays text out the same way.
constexpr std::array<Alias, 8> metricAliases{{
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Helvetica Neue", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
}};

std::optional<QString> installedFamily(const QString& name)
{
    const QString wanted = name.trimmed();
    if (wanted.isEmpty()) {
        return std::nullopt;
    }
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        if (family.compare(wanted, Qt::CaseInsensitive) == 0) {
            return family;
        }
    }
    for (const Alias& alias : metricAliases) {
        if (wanted.compare(QLatin1String(alias.name), Qt::CaseInsensitive) == 0) {
            const QString target = QString::fromLatin1(alias.installed);
            for (const QString& family : families) {
                if (family.compare(target, Qt::CaseInsensitive) == 0) {
                    return family;
                }
            }
        }
    }
    return std::nullopt;
}

struct Style {
    int weight = 400;
    bool italic = false;
};

// Reads style words such as "Bold", "SemiboldItalic", "Black Oblique" or "BoldMT". Answers
// nothing when a word is not a style.
std::optional<Style> parseStyle(QString text)
{
    struct Word {
        const char* word;
        int weight;   // 0: leaves the weight
        bool italic;
    };
    static constexpr std::array<Word, 20> words{{
        {"extralight", 200, false}, {"ultralight", 200, false}, {"extrabold", 800, false},
        {"ultrabold", 800, false},  {"semibold", 600, false},   {"demibold", 600, false},
        {"regular", 400, false},    {"normal", 400, false},     {"medium", 500, false},
        {"italic", 0, true},        {"oblique", 0, true},       {"heavy", 800, false},
        {"black", 900, false},      {"light", 300, false},      {"thin", 100, false},
        {"bold", 700, false},       {"book", 400, false},       {"roman", 400, false},
        {"mt", 0, false},           {"ps", 0, false},
    }};
    text = text.toLower();
    text.remove(QLatin1Char(' '));
    text.remove(QLatin1Char('-'));
    if (text.isEmpty()) {
        return std::nullopt;
    }
    Style style;
    while (!text.isEmpty()) {
        bool matched = false;
        for (const Word& w : words) {
            if (text.startsWith(QLatin1String(w.word))) {
                if (w.weight != 0) {
                    style.weight = w.weight;
                }
                style.italic = style.italic || w.italic;
                text.remove(0, static_cast<qsizetype>(std::char_traits<char>::length(w.word)));
                matched = true;
                break;
            }
        }
        if (!matched) {
            return std::nullopt;
        }
    }
    return style;
}

} // namespace

std::string systemFontFamily()
{
    ensureTextEngine();
    QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // The platform may answer an alias ("Sans Serif"); draw with the family it resolves to.
    return QFontInfo(general).family().toStdString();
}

TextFont resolveTextFont(std::string_view name, double pixelSize)
{
    ensureTextEngine();
    const QString requested = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).trimmed();

    TextFont font;
    font.pixelSize = pixelSize;
    if (auto family = installedFamily(requested)) {
        font.family = family->toStdString();
        return font;
    }
    // "Family Style" and "Family-Style": try each split point from the right.
    for (qsizetype i = requested.size() - 1; i > 0; --i) {
        const QChar c = requested.at(i);
        if (c != QLatin1Char(' ') && c != QLatin1Char('-')) {
            continue;
        }
        auto family = installedFamily(requested.left(i));
        if (!family) {
            continue;
        }
        if (auto style = parseStyle(requested.mid(i + 1))) {
            font.family = family->toStdString();
            font.weight = style->weight;
            font.italic = style->italic;
            return font;
        }
    }
    font.family = systemFontFamily();
    font.weight = 800;
    font.isFallback = true;
    return font;
}

} // namespace velmora
