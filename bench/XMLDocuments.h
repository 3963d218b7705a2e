#pragma once

#include <cstddef>
#include <string>

// Generated configuration documents of about `targetBytes` bytes.

// A configuration as the manager reads it: ADAPTER elements holding DEVICE elements, each
// with an X child, attributes on every element.
std::string MakeAdapterDocument(std::size_t targetBytes);
// One root holding a flat run of elements that all have distinct names.
std::string MakeFlatDistinctDocument(std::size_t targetBytes);
// One root holding a run of chains of 7 nested elements: 8 levels with the root.
std::string MakeNestedDocument(std::size_t targetBytes);
// The whole content of a file, or an empty text when it cannot be read.
std::string ReadWholeFile(const char* path);
