#pragma once

#include <string>

// Registers the reader, tinyxml2 and pugixml benchmarks for one document, named `name`.
void RegisterXMLBenchmarks(const std::string& name, const std::string& text);
