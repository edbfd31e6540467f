// A register's fields and their named values, read from its SVD element,
// and cut into bytes. Private to the SVD import.
//
// Plain functions; an element that cannot be read throws svd::SvdProblem.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

#include "cli/svd/svd_import.h"

namespace regdiag::cli::svd {

struct FieldRead {
  std::vector<SvdField> fields;  // bits numbered in the whole register
  bool readAction = false;       // a field's reading changes it
};

// Warnings name the field as REGISTER.FIELD.
[[nodiscard]] FieldRead ReadFields(std::string_view xml, pugi::xml_node reg, const std::string& regName,
                                   int size, std::vector<std::string>& warnings);

// The fields of byte `part` (0: bits 7..0) renumbered; a field across the
// byte boundary becomes NAME_L and NAME_H, without its values.
[[nodiscard]] std::vector<SvdField> FieldsOfByte(const std::vector<SvdField>& fields, int part);

// RO, WO or RW for an SVD access; RW when none is given.
[[nodiscard]] std::string RegisterAccess(std::string_view access);

}  // namespace regdiag::cli::svd
