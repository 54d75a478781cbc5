// What kamnarmqtt has published about each module, kept in its state
// directory: a module that leaves kamnar.conf gets every one of these topics
// cleared, also after kamnarmqtt was restarted. Lines `ADDRESS TOPIC`.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

using seznam = std::map<std::string, std::vector<std::string>>; // topics by address

seznam ctiseznam(const std::string &text);
std::string textseznamu(const seznam &s);

// The addresses of the list that are not among `zustavaji`.
std::vector<std::string> odebrane(const seznam &s, const std::set<std::string> &zustavaji);

// The list in the file (empty when there is none); written whole through a
// file beside it renamed over it: false with errno when it could not be.
seznam nactiseznam(const std::string &cesta);
bool ulozseznam(const std::string &cesta, const seznam &s);
