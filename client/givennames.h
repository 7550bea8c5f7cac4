// The names the user gave behind the entries of the file lists.  A blank
// travels as "%20", so an entry alone cannot tell "my file.c"
// from a name the user wrote with "%20": the command line records the
// names it changed, and the files the server asks for or sends are found
// under the name the user gave.
#ifndef XRB_CLIENT_GIVENNAMES_H
#define XRB_CLIENT_GIVENNAMES_H

#include <string>

// Records the name (with its type tag) behind a list entry (without its
// leading blank); the first name recorded for an entry stays.
void rememberGivenName(std::string const& entry, std::string const& given);
// The name the user gave for an entry: the recorded one, else the entry.
std::string const& givenNameOf(std::string const& entry);
void forgetGivenNames();

#endif
