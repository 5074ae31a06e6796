#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <utility>

namespace velmora {

// An immutable string whose copies share one buffer: a value type for large texts that are
// copied far more often than changed (a LUT carried inline in each clip is copied into every
// undo step). Assigning a new text replaces the buffer, never writes into a shared one.
// Reads go through str() or the implicit conversion to const std::string&; the reference stays
// valid for as long as this object or any copy of it holds the same text.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}
    SharedText(const char* text) : SharedText(std::string(text)) {}

    const std::string& str() const { return text_ ? *text_ : noText(); }
    operator const std::string&() const { return str(); }

    bool empty() const { return str().empty(); }
    const char* data() const { return str().data(); }
    std::size_t size() const { return str().size(); }

    // Equal texts are equal whether or not they share a buffer.
    friend bool operator==(const SharedText& a, const SharedText& b)
    {
        return a.text_ == b.text_ || a.str() == b.str();
    }
    friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
    friend std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.str(); }

private:
    static const std::string& noText()
    {
        static const std::string none;
        return none;
    }

    std::shared_ptr<const std::string> text_;
};

} // namespace velmora
