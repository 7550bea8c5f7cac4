// OwnedText: a text copied out of the shared buffer (or from a caller) that a
// packet keeps; it distinguishes "none" from the empty text.
#ifndef XRB_PROTOCOL_OWNEDTEXT_H
#define XRB_PROTOCOL_OWNEDTEXT_H

#include <cstddef>
#include <string>

class OwnedText {
public:
    OwnedText() : present_(false) {}

    void set(char const* text)
    {
        present_ = text != nullptr;
        s_.assign(text ? text : "");
    }
    // Copies at most n bytes and stops at the first zero byte among them.
    void setBytes(unsigned char const* data, size_t n)
    {
        size_t len = 0;
        while (len < n && data[len] != 0)
            ++len;
        s_.assign(reinterpret_cast<char const*>(data), len);
        present_ = true;
    }
    void append(char const* text, size_t n)
    {
        s_.append(text, n);
        present_ = true;
    }
    void clear()
    {
        s_.clear();
        present_ = false;
    }
    bool present() const { return present_; }
    // The text, or nullptr for none; valid until the next change.
    char* get() { return present_ ? &s_[0] : nullptr; }
    char const* text() const { return s_.c_str(); } // "" for none
    size_t length() const { return s_.size(); }

private:
    std::string s_;
    bool present_;
};

#endif
