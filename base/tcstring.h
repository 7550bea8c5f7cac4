// TCString: the client's text type, a value class owning one zero-terminated
// byte string.  Positions are 1-based and 0 means "not found"; a word is a
// maximal run of bytes above 32.
#ifndef XRB_BASE_TCSTRING_H
#define XRB_BASE_TCSTRING_H

class TCString {
public:
    TCString();
    TCString(TCString const&);
    TCString(char const*);
    TCString(char);
    TCString(int);
    TCString(long);
    TCString(unsigned long);
    TCString(char const*, unsigned int, char const*, unsigned int);
    ~TCString();

    operator char*() const;
    operator unsigned char*() const;
    char* getdata() const;
    unsigned int length() const;
    unsigned int size() const;
    void setData(char const*);
    void setData(char const*, int, char);

    char const& operator[](int) const;
    char const& operator[](unsigned int) const;
    char& operator[](int);
    char& operator[](unsigned int);

    TCString& operator=(TCString const&);
    TCString& operator+=(TCString const&);
    TCString& operator+=(char const*);
    TCString& operator+=(char);
    TCString operator+(char const*) const;
    TCString operator+(TCString const&) const;

    // Searching.
    unsigned int indexOf(TCString const&, unsigned int) const;
    unsigned int indexOf(char const*, unsigned int) const;
    unsigned int indexOf(char, unsigned int) const;
    unsigned int lastIndexOf(TCString const&, unsigned int) const;
    unsigned int lastIndexOf(char const*, unsigned int) const;
    unsigned int lastIndexOf(char, unsigned int) const;
    unsigned int indexOfAnyOf(char const*, unsigned int) const;
    unsigned int lastIndexOfAnyOf(char const*, unsigned int) const;
    unsigned int occurrencesOf(TCString const&, unsigned int) const;
    unsigned int includes(char const*) const;
    unsigned int wordIndexOfPhrase(TCString const&, unsigned int) const;

    // Words.
    unsigned int numWords() const;
    TCString word(unsigned int) const;
    TCString words(unsigned int) const;
    TCString& removeWords(int, int);

    // Substrings and editing.
    TCString subString(unsigned int) const;
    TCString subString(unsigned int, unsigned int, char) const;
    TCString remove(unsigned int, unsigned int) const;
    static TCString remove(TCString const&, unsigned int, unsigned int);
    TCString& change(char const*, char const*, int, unsigned int);
    static TCString change(char const*, char const*, char const*, int, unsigned int);
    TCString& strip();
    TCString& stripBlanks();
    static TCString stripBlanks(char const*);
    TCString& stripTrailing(char);
    TCString& stripTrailing(char const*);
    TCString& center(unsigned int, char);
    TCString& rightJustify(unsigned int, char);
    static TCString rightJustify(TCString const&, unsigned int, char);
    TCString& leftPad(unsigned int, char);
    TCString& rightPad(unsigned int, char);
    TCString& leftJustify(unsigned int, char);
    TCString& lowerCase();
    TCString& upperCase();
    static TCString upperCase(TCString const&);

    // Conversion and tests.
    int asInt() const;
    unsigned int asUnsigned() const;
    bool isDigits() const;
    TCString& d2x();
    bool isLike(char const*, unsigned int, char, char) const;
    bool isLike(char const*, char, char) const;
    bool isAbbreviationFor(char const*, int) const;

private:
    char* data_;
};

TCString operator+(char const*, TCString const&);

bool operator==(TCString const&, TCString const&);
bool operator!=(TCString const&, TCString const&);
bool operator==(TCString const&, char const*);
bool operator!=(TCString const&, char const*);
bool operator==(char const*, TCString const&);
bool operator!=(char const*, TCString const&);
bool operator==(TCString const&, char*);
bool operator!=(TCString const&, char*);
bool operator==(char*, TCString const&);
bool operator!=(char*, TCString const&);

bool operator<(TCString const&, TCString const&);
bool operator<=(TCString const&, TCString const&);
bool operator>(TCString const&, TCString const&);
bool operator>=(TCString const&, TCString const&);
bool operator<(TCString const&, char const*);
bool operator<=(TCString const&, char const*);
bool operator>(TCString const&, char const*);
bool operator>=(TCString const&, char const*);
bool operator<(char const*, TCString const&);
bool operator<=(char const*, TCString const&);
bool operator>(char const*, TCString const&);
bool operator>=(char const*, TCString const&);

#endif
