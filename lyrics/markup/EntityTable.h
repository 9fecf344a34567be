#pragma once
#include <string_view>

// The named character references of HTML 4 plus "apos", looked up by lower-case name. Names are
// folded before the lookup, so the 64 names that differ only in case share one lower-case key;
// the capitalised reference is stored first and wins (both O-with-stroke references give 216).
namespace EntityTable {

constexpr int kBuckets = 130;

// Code point of the reference (name without "&" and ";", already lower case), 0 when unknown.
int Lookup(std::string_view lowerName);

// One bucket as stored: records of one digit of name length, four digits of code point and the
// name, as in "30038amp30174reg". Empty for an index outside 0..kBuckets-1.
std::string_view Bucket(int index);

} // namespace EntityTable
