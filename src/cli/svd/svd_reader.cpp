// The SVD's tree walked into byte registers: peripherals, clusters and
// registers with their inherited size, access and reset value.
#include <algorithm>
#include <cctype>

#include "cli/svd/svd_fields.h"
#include "cli/svd/svd_import.h"
#include "cli/svd/svd_xml.h"

namespace regdiag::cli {

namespace {

using svd::Child;
using svd::Number;
using svd::SvdProblem;
using svd::Text;
using svd::Where;

constexpr std::uint64_t kLastAddress = 255;
// Far beyond a real description, and short of what would take minutes or
// exhaust the stack: nested arrays multiply, and a cluster may be derived
// from the one that holds it.
constexpr std::size_t kMostRegisters = 100000;
constexpr int kDeepestCluster = 32;

// What registers inherit from the device, peripheral and cluster above them.
struct Properties {
  std::optional<std::uint64_t> size;
  std::string access;
  std::optional<std::uint64_t> reset;
  std::optional<std::uint64_t> mask;
};

struct Walk {
  std::string_view xml;
  bool bigEndian = false;
  std::vector<std::string>& warnings;
  SvdDevice& device;
  std::size_t registers = 0;  // instances met, in range or not
};

Properties Overlay(const Walk& walk, Properties properties, pugi::xml_node node) {
  if (auto size = Number(walk.xml, node, "size")) properties.size = size;
  if (std::string access = Text(node, "access"); !access.empty()) properties.access = std::move(access);
  if (auto reset = Number(walk.xml, node, "resetValue")) properties.reset = reset;
  if (auto mask = Number(walk.xml, node, "resetMask")) properties.mask = mask;
  return properties;
}

// The registers and clusters of a block, else of what it is derived from.
pugi::xml_node Members(pugi::xml_node node) {
  for (int depth = 0; node && depth < 8; ++depth) {
    if (node.child("register") || node.child("cluster")) return node;
    node = svd::BaseOf(node);
  }
  return {};
}

// One byte of a register: `part` 0 for bits 7..0, 1 for bits 15..8.
SvdRegister Byte(const Walk& walk, const SvdRegister& whole, std::uint64_t size, int part,
                 const std::vector<SvdField>& fields, const Properties& properties) {
  SvdRegister byte = whole;
  if (size == 16) {
    byte.name += part == 0 ? "_L" : "_H";
    byte.address += static_cast<std::uint64_t>(walk.bigEndian ? 1 - part : part);
  }
  const std::uint64_t mask = properties.mask.value_or(~std::uint64_t{0});
  if (properties.reset && ((mask >> (8 * part)) & 0xFF) == 0xFF)
    byte.reset = static_cast<std::uint8_t>((*properties.reset >> (8 * part)) & 0xFF);
  byte.fields = svd::FieldsOfByte(fields, part);
  return byte;
}

// Where a block's registers go: their peripheral, the address their
// offsets count from, and the cluster's name in front of theirs ("CH0_").
struct Block {
  std::string peripheral;
  std::uint64_t base = 0;
  std::string prefix;
  int depth = 0;  // of clusters
};

void AddRegister(Walk& walk, pugi::xml_node node, const Block& block, const Properties& inherited) {
  const Properties properties = Overlay(walk, inherited, node);
  const std::uint64_t offset = Number(walk.xml, node, "addressOffset").value_or(0);
  for (const svd::Instance& instance : svd::Instances(walk.xml, node)) {
    if (++walk.registers > kMostRegisters)
      throw SvdProblem(Where(walk.xml, node) + ": more than 100000 registers in all");
    SvdRegister whole{block.peripheral,
                      block.prefix + svd::MapName(instance.name),
                      block.base + offset + instance.step,
                      {},
                      {},
                      {}};
    const std::uint64_t size = properties.size.value_or(0);
    if (size != 8 && size != 16) {
      walk.warnings.push_back(whole.name + ": a " + std::to_string(size) +
                              "-bit register, skipped (only 8- and 16-bit registers are imported)");
      continue;
    }
    if (whole.address + size / 8 - 1 > kLastAddress || whole.address > kLastAddress) {
      walk.warnings.push_back(whole.name + ": address " + svd::HexText(whole.address) +
                              " is outside 0x00 to 0xFF, skipped");
      continue;
    }
    const svd::FieldRead fields =
        svd::ReadFields(walk.xml, node, whole.name, static_cast<int>(size), walk.warnings);
    whole.access = svd::RegisterAccess(properties.access);
    if (fields.readAction || !Text(node, "readAction").empty()) whole.access = "RC";
    for (int part = 0; part < static_cast<int>(size / 8); ++part)
      walk.device.registers.push_back(Byte(walk, whole, size, part, fields.fields, properties));
  }
}

void AddBlock(Walk& walk, pugi::xml_node node, const Block& block, const Properties& properties) {
  for (pugi::xml_node member : Members(node).children()) {
    const std::string_view kind = member.name();
    if (kind == "register") {
      AddRegister(walk, member, block, properties);
    } else if (kind == "cluster") {
      if (block.depth >= kDeepestCluster)
        throw SvdProblem(Where(walk.xml, member) + " lies deeper than 32 clusters");
      const Properties inner = Overlay(walk, properties, member);
      const std::uint64_t offset = Number(walk.xml, member, "addressOffset").value_or(0);
      for (const svd::Instance& instance : svd::Instances(walk.xml, member)) {
        const Block inside{block.peripheral, block.base + offset + instance.step,
                           block.prefix + svd::MapName(instance.name) + "_", block.depth + 1};
        AddBlock(walk, member, inside, inner);
      }
    }
  }
}

bool Wanted(std::span<const std::string> wanted, const std::string& name, std::vector<bool>& found) {
  if (wanted.empty()) return true;
  bool any = false;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (wanted[i] == name) found[i] = any = true;
  }
  return any;
}

void AddPeripherals(Walk& walk, pugi::xml_node device, std::span<const std::string> wanted) {
  const Properties defaults = Overlay(walk, {}, device);
  std::vector<bool> found(wanted.size(), false);
  for (pugi::xml_node peripheral : device.child("peripherals").children("peripheral")) {
    if (peripheral.child("dim"))
      throw SvdProblem(Where(walk.xml, peripheral) + " is an array of peripherals");
    const std::string name = svd::MapName(Text(peripheral, "name"));
    if (!Wanted(wanted, name, found)) continue;
    const std::optional<std::uint64_t> base = Number(walk.xml, peripheral, "baseAddress");
    if (!base) throw SvdProblem(Where(walk.xml, peripheral) + " has no baseAddress");
    walk.device.peripherals.push_back(name);
    AddBlock(walk, Child(peripheral, "registers"), Block{name, *base, {}, 0},
             Overlay(walk, defaults, peripheral));
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (!found[i]) throw SvdProblem("no peripheral " + wanted[i]);
  }
}

}  // namespace

SvdDevice ReadSvd(std::string_view xml, std::span<const std::string> peripherals,
                  std::vector<std::string>& warnings, std::string& error) {
  SvdDevice device;
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
  if (!parsed) {
    error = "line " + std::to_string(svd::LineAt(xml, parsed.offset)) + ": " + parsed.description();
    return device;
  }
  const pugi::xml_node root = document.child("device");
  if (!root) {
    error = "no <device> element: not a register description";
    return device;
  }
  Walk walk{xml, Text(root.child("cpu"), "endian") == "big", warnings, device};
  device.name = Text(root, "name");
  device.description = Text(root, "description");
  try {
    AddPeripherals(walk, root, peripherals);
  } catch (const SvdProblem& problem) {
    error = problem.what();
  }
  return device;
}

SvdImport ImportSvd(std::string_view xml, std::span<const std::string> peripherals) {
  SvdImport result;
  const SvdDevice device = ReadSvd(xml, peripherals, result.warnings, result.error);
  if (result.error.empty()) result.mapText = SvdMapText(device, result.warnings, result.error);
  if (!result.error.empty()) result.mapText.clear();
  return result;
}

}  // namespace regdiag::cli
