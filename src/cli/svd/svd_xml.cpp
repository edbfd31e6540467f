#include "cli/svd/svd_xml.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace regdiag::cli::svd {

namespace {

// Far more than any real chain; it stops a derivedFrom loop.
constexpr int kDeepestDerivation = 8;
// No register description lists more instances of an array.
constexpr std::uint64_t kMostInstances = 4096;

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::uint64_t> Digits(std::string_view text, int base) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

pugi::xml_node ChildFrom(pugi::xml_node node, const char* name, int depth) {
  if (pugi::xml_node child = node.child(name); child) return child;
  if (depth >= kDeepestDerivation) return {};
  const pugi::xml_node base = BaseOf(node);
  return base ? ChildFrom(base, name, depth + 1) : pugi::xml_node{};
}

// dimIndex: "A,B,C" or "0-3"; the plain indexes when it is not given.
std::vector<std::string> Indexes(std::string_view xml, pugi::xml_node node, std::uint64_t dim) {
  const std::string given = Text(node, "dimIndex");
  std::vector<std::string> indexes;
  const std::size_t dash = given.find('-');
  if (given.empty() || (dash != std::string::npos && given.find(',') == std::string::npos)) {
    const std::optional<std::uint64_t> first = given.empty() ? 0 : Digits(given.substr(0, dash), 10);
    if (!first) throw SvdProblem("dimIndex " + given + " of " + Where(xml, node) + " is not a range");
    for (std::uint64_t i = 0; i < dim; ++i) indexes.push_back(std::to_string(*first + i));
    return indexes;
  }
  std::size_t start = 0;
  while (start <= given.size()) {
    const std::size_t comma = std::min(given.find(',', start), given.size());
    indexes.emplace_back(Trimmed(std::string_view(given).substr(start, comma - start)));
    start = comma + 1;
  }
  return indexes;
}

}  // namespace

int LineAt(std::string_view xml, std::ptrdiff_t offset) {
  const std::size_t end = std::min(xml.size(), static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)));
  return 1 + static_cast<int>(std::count(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

std::string Where(std::string_view xml, pugi::xml_node node) {
  return "<" + std::string(node.name()) + "> on line " + std::to_string(LineAt(xml, node.offset_debug()));
}

pugi::xml_node BaseOf(pugi::xml_node node) {
  std::string_view wanted = Trimmed(node.attribute("derivedFrom").as_string());
  if (wanted.empty()) return {};
  if (const std::size_t dot = wanted.rfind('.'); dot != std::string_view::npos) wanted.remove_prefix(dot + 1);
  const auto named = [&](pugi::xml_node candidate) {
    return candidate != node && Trimmed(candidate.child_value("name")) == wanted;
  };
  for (pugi::xml_node sibling : node.parent().children(node.name())) {
    if (named(sibling)) return sibling;
  }
  // Elsewhere in the file: the first element of its kind with that name.
  return node.root().find_node(
      [&](pugi::xml_node any) { return std::string_view(any.name()) == node.name() && named(any); });
}

pugi::xml_node Child(pugi::xml_node node, const char* name) { return ChildFrom(node, name, 0); }

std::string Text(pugi::xml_node node, const char* name) {
  return std::string(Trimmed(Child(node, name).child_value()));
}

std::optional<std::uint64_t> ParseSvdNumber(std::string_view text) {
  text = Trimmed(text);
  if (text.starts_with("0x") || text.starts_with("0X")) return Digits(text.substr(2), 16);
  if (text.starts_with("0b") || text.starts_with("0B")) return Digits(text.substr(2), 2);
  if (text.starts_with("#")) return Digits(text.substr(1), 2);
  return Digits(text, 10);
}

std::optional<std::uint64_t> Number(std::string_view xml, pugi::xml_node node, const char* name) {
  const pugi::xml_node child = Child(node, name);
  if (!child) return std::nullopt;
  const std::optional<std::uint64_t> value = ParseSvdNumber(child.child_value());
  if (!value) throw SvdProblem(Where(xml, child) + " is not a number");
  return value;
}

std::vector<Instance> Instances(std::string_view xml, pugi::xml_node node) {
  const std::string name = Text(node, "name");
  if (name.empty()) throw SvdProblem(Where(xml, node) + " has no name");
  const std::optional<std::uint64_t> dim = Number(xml, node, "dim");
  if (!dim) return {{name, 0}};
  const std::optional<std::uint64_t> increment = Number(xml, node, "dimIncrement");
  if (*dim == 0 || *dim > kMostInstances || !increment)
    throw SvdProblem(Where(xml, node) + " is an array without a usable dim and dimIncrement");
  const std::vector<std::string> indexes = Indexes(xml, node, *dim);
  if (indexes.size() != *dim)
    throw SvdProblem("dimIndex of " + Where(xml, node) + " does not give dim names");
  std::vector<Instance> instances;
  for (std::uint64_t i = 0; i < *dim; ++i) {
    std::string expanded = name;
    const std::size_t bracket = expanded.find("[%s]");
    const std::size_t at = bracket != std::string::npos ? bracket : expanded.find("%s");
    if (at == std::string::npos) throw SvdProblem(Where(xml, node) + " is an array whose name has no %s");
    expanded.replace(at, bracket != std::string::npos ? 4 : 2, indexes[i]);
    instances.push_back({expanded, i * *increment});
  }
  return instances;
}

std::string HexText(std::uint64_t value) {
  std::array<char, 20> digits{};
  const char* const end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
  std::string text(digits.data(), static_cast<std::size_t>(end - digits.data()));
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "0x" + (text.size() < 2 ? "0" + text : text);
}

std::string MapName(std::string_view text) {
  std::string name(Trimmed(text));
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') c = '_';
  }
  return name;
}

}  // namespace regdiag::cli::svd
