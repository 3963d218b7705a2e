#pragma once

// Registers the reader on hostile documents of 1 MiB and 10 MiB ("XMLAdversarial/<family>/<size>"),
// beside the realistic configuration document of the same sizes ("XMLAdversarial/realistic/<size>"),
// and the C library's plain reads and copy of the entity_chains text
// ("XMLAdversarial/scans_of_entity_chains/<size>", "XMLAdversarial/copy_of_entity_chains/<size>").
// The documents are made the first time their benchmark runs, so that a filtered run does not pay
// for them.
void RegisterXMLAdversarialBenchmarks();
