#pragma once

#include <optional>
#include <string>

namespace corvane {

// Resources travel inside the installer binary as ELF sections named
// ".rsrc.<NAME>" (e.g. ".rsrc.THEME", ".rsrc.CHANNEL"). They are added after
// linking with objcopy, so a built installer can be re-stamped without a rebuild.
std::string ResourceSectionName(const std::string& name);

// Reads the named section of an ELF file; nullopt when the file is not a
// readable 64-bit ELF or has no such section.
std::optional<std::string> ReadElfSection(const std::string& file, const std::string& section);

// Reads resource `name` from the running program's own file. A missing
// section is an absent resource.
std::optional<std::string> ReadEmbeddedResource(const std::string& name);

}  // namespace corvane
