// TCException: the one exception type of the client.  Failures are thrown as
// a pointer to a heap-allocated TCException; every catch site prints
// getMessage() and deletes the exception.
#ifndef XRB_BASE_TCEXP_H
#define XRB_BASE_TCEXP_H

class TCException {
public:
    TCException(); // message "TCException"
    explicit TCException(char const* message);
    ~TCException();
    TCException(TCException const&) = delete;
    TCException& operator=(TCException const&) = delete;
    char* getMessage() const;

private:
    char* message_;
};

#endif
