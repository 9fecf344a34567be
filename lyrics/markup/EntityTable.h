#pragma once
#include <string_view>

// The named character references of HTML 4 plus "apos", looked up by lower-case name. Names are
// folded before the lookup, so the 64 names that differ only in case share one lower-case key;
// the capitalised reference is stored first and wins (both O-with-stroke references give 216).
namespace EntityTable {

// Code point of the reference (name without "&" and ";", already lower case), 0 when unknown.
int Lookup(std::string_view lowerName);

} // namespace EntityTable
