// The registry stand-in's text file (format in platform_registry.h): its
// parser and writer, apart from the key and value calls built on them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RegValue
{
    std::string m_name;
    uint32_t m_type;
    std::string m_data; // text without terminator, or raw bytes
};

struct RegSection
{
    int m_root;
    std::string m_path; // no leading or trailing backslash
    bool m_b32Only;
    std::vector<RegValue> m_values;
};

// Key paths and value names compare without ASCII case.
bool Reg_EqualNoCase(const std::string& a, const std::string& b);
// The path without leading and trailing backslashes.
std::string Reg_TrimSlashes(const std::string& path);

// The file named by QUERN_REGISTRY, or null when unset or empty.
const char* Reg_FileName();
// Every section of the file; none when it is unnamed or unreadable. Lines that
// cannot be read are skipped, as are values before the first section.
std::vector<RegSection> Reg_LoadFile();
// Rewrites the whole file (comments are not kept); false when it cannot be
// written, leaving the old file as it was.
bool Reg_SaveFile(const std::vector<RegSection>& sections);
