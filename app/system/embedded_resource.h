#pragma once

#include <optional>
#include <string>

namespace corvane {

// Resources travel inside the installer binary. On Linux they are ELF
// sections named ".rsrc.<NAME>" (e.g. ".rsrc.THEME", ".rsrc.CHANNEL"), added
// after linking with objcopy; on Windows they are Win32 resources of type
// NAME (ResourceIdentifier). Either way a built installer can be re-stamped
// without a rebuild (scripts/restamp-channel).

// Windows: the identifier of resource `name` ("THEME" 136, "CHANNEL" 138,
// others 1).
inline int ResourceIdentifier(const std::string& name) {
  if (name == "THEME") return 136;
  if (name == "CHANNEL") return 138;
  return 1;
}

// Linux: the ELF section of resource `name`.
std::string ResourceSectionName(const std::string& name);

// Linux: reads the named section of an ELF file; nullopt when the file is not a
// readable 64-bit ELF or has no such section.
std::optional<std::string> ReadElfSection(const std::string& file, const std::string& section);

// Reads resource `name` from the running program's own file. A missing
// section is an absent resource.
std::optional<std::string> ReadEmbeddedResource(const std::string& name);

// Reads resource `name` from another program file of this target (an
// installer binary, named in UTF-8 on Windows); nullopt when the file is not
// such a program or lacks the resource.
std::optional<std::string> ReadProgramResource(const std::string& file, const std::string& name);

}  // namespace corvane
