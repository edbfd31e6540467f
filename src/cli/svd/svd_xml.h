// Reading SVD elements with pugixml: derivedFrom, numbers, dim arrays and
// the line of an element for messages. Private to the SVD import.
//
// Plain functions; an element that cannot be read throws SvdProblem.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace regdiag::cli::svd {

// An element that cannot be imported; what() names it and its line.
class SvdProblem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The line of a byte offset in the XML text, from 1.
[[nodiscard]] int LineAt(std::string_view xml, std::ptrdiff_t offset);

// "<register> on line 12"
[[nodiscard]] std::string Where(std::string_view xml, pugi::xml_node node);

// The element that `node` names in derivedFrom (by its name, or its last
// dotted part): a sibling, else any element of its kind; empty when none.
[[nodiscard]] pugi::xml_node BaseOf(pugi::xml_node node);

// A child element of `node`, else of what it is derived from.
[[nodiscard]] pugi::xml_node Child(pugi::xml_node node, const char* name);

// The trimmed text of a child element (through derivedFrom); empty if none.
[[nodiscard]] std::string Text(pugi::xml_node node, const char* name);

// A number written in decimal, 0x hex, # binary or 0b binary.
[[nodiscard]] std::optional<std::uint64_t> ParseSvdNumber(std::string_view text);

// A child's number; nothing when it is not there, SvdProblem when it is
// not a number.
[[nodiscard]] std::optional<std::uint64_t> Number(std::string_view xml, pugi::xml_node node,
                                                  const char* name);

// The instances of an element with `dim`: its name with %s replaced ("[%s]"
// without the brackets) and the offset to add; one plain instance without dim.
struct Instance {
  std::string name;
  std::uint64_t step = 0;
};
[[nodiscard]] std::vector<Instance> Instances(std::string_view xml, pugi::xml_node node);

// "0x110"
[[nodiscard]] std::string HexText(std::uint64_t value);

// Letters, digits and '_' as they are, anything else '_': names and labels
// that a map line can hold.
[[nodiscard]] std::string MapName(std::string_view text);

}  // namespace regdiag::cli::svd
