#include "app/system/embedded_resource.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace corvane {

namespace {

bool ReadAt(std::ifstream& in, uint64_t offset, void* out, size_t size) {
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
  return static_cast<size_t>(in.gcount()) == size;
}

}  // namespace

std::string ResourceSectionName(const std::string& name) {
  return ".rsrc." + name;
}

std::optional<std::string> ReadElfSection(const std::string& file, const std::string& section) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const uint64_t file_size = static_cast<uint64_t>(in.tellg());

  Elf64_Ehdr eh;
  if (!ReadAt(in, 0, &eh, sizeof(eh))) return std::nullopt;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum) {
    return std::nullopt;
  }
  if (eh.e_shoff > file_size ||
      static_cast<uint64_t>(eh.e_shnum) * sizeof(Elf64_Shdr) > file_size - eh.e_shoff) {
    return std::nullopt;
  }
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  if (!ReadAt(in, eh.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
    return std::nullopt;
  }
  const Elf64_Shdr& strtab = sections[eh.e_shstrndx];
  if (strtab.sh_offset > file_size || strtab.sh_size > file_size - strtab.sh_offset) {
    return std::nullopt;
  }
  std::string names(strtab.sh_size, '\0');
  if (!ReadAt(in, strtab.sh_offset, names.data(), names.size())) return std::nullopt;

  for (const Elf64_Shdr& sh : sections) {
    if (sh.sh_name >= names.size()) continue;
    // names is a std::string, so the last name is terminated too.
    if (std::string_view(names.c_str() + sh.sh_name) != section) continue;
    if (sh.sh_type == SHT_NOBITS) return std::string();
    if (sh.sh_offset > file_size || sh.sh_size > file_size - sh.sh_offset) return std::nullopt;
    std::string data(sh.sh_size, '\0');
    if (!ReadAt(in, sh.sh_offset, data.data(), data.size())) return std::nullopt;
    return data;
  }
  return std::nullopt;
}

std::optional<std::string> ReadEmbeddedResource(const std::string& name) {
  return ReadElfSection("/proc/self/exe", ResourceSectionName(name));
}

std::optional<std::string> ReadProgramResource(const std::string& file, const std::string& name) {
  return ReadElfSection(file, ResourceSectionName(name));
}

}  // namespace corvane
