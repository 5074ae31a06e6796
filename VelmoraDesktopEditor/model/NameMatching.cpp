#include "model/NameMatching.h"

#include <algorithm>
#include <utility>

#include <QChar>
#include <QCollator>
#include <QLocale>
#include <QString>

namespace velmora::NameMatching {

namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

QLocale collationLocale()
{
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C) {
        return QLocale(QLocale::English, QLocale::UnitedStates);
    }
    return system;
}

} // namespace

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool equalsExactly(std::string_view a, std::string_view b)
{
    if (a == b) {
        return true;
    }
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    return toQString(a).normalized(QString::NormalizationForm_C) == toQString(b).normalized(QString::NormalizationForm_C);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (isAscii(a) && isAscii(b)) {
        return equalsIgnoringAsciiCase(a, b);
    }
    return toQString(a).normalized(QString::NormalizationForm_C)
               .compare(toQString(b).normalized(QString::NormalizationForm_C), Qt::CaseInsensitive)
        == 0;
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle)
{
    if (needle.empty()) {
        return false;
    }
    if (isAscii(haystack) && isAscii(needle)) {
        return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                           [](char x, char y) { return asciiLower(x) == asciiLower(y); })
            != haystack.end();
    }
    return toQString(haystack)
        .normalized(QString::NormalizationForm_C)
        .contains(toQString(needle).normalized(QString::NormalizationForm_C), Qt::CaseInsensitive);
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

std::size_t characterCount(std::string_view text)
{
    if (isAscii(text)) {
        return text.size();
    }
    return static_cast<std::size_t>(toQString(text).normalized(QString::NormalizationForm_C).toUcs4().size());
}

std::u32string nameKey(std::string_view name)
{
    if (isAscii(name)) {
        std::string lowered;
        lowered.reserve(name.size());
        for (const char c : name) {
            lowered += asciiLower(c);
        }
        static constexpr std::string_view audioSuffix = " (audio)";
        for (std::size_t at = lowered.find(audioSuffix); at != std::string::npos; at = lowered.find(audioSuffix, at)) {
            lowered.erase(at, audioSuffix.size());
        }
        std::u32string key;
        for (const char c : lowered) {
            if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
                key += static_cast<char32_t>(c);
            }
        }
        return key;
    }
    QString lowered = toQString(name).normalized(QString::NormalizationForm_C).toLower();
    lowered.remove(QStringLiteral(" (audio)"));
    std::u32string key;
    for (const char32_t c : lowered.toUcs4()) {
        if (QChar::isLetterOrNumber(c)) {
            key += c;
        }
    }
    return key;
}

void stableSortByFileName(std::vector<std::filesystem::path>& files)
{
    QCollator collator(collationLocale());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::vector<std::pair<QString, std::filesystem::path>> keyed;
    keyed.reserve(files.size());
    for (auto& file : files) {
        keyed.emplace_back(toQString(file.filename().string()), std::move(file));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const auto& x, const auto& y) { return collator.compare(x.first, y.first) < 0; });
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i] = std::move(keyed[i].second);
    }
}

} // namespace velmora::NameMatching
