#pragma once

#include <string>

// Registers the reader and tinyxml2 benchmarks for one document, named `name`.
void RegisterXMLBenchmarks(const std::string& name, const std::string& text);
