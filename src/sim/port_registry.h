#pragma once
// Makes a simulated board's port findable by the tool's port list under a short
// name ("sim0") for as long as the registration lives.

#include <filesystem>
#include <string>

#include "link/unique_fd.h"

namespace tarnwick::sim {

class PortRegistration {
 public:
  // Links the first free simN in the registry directory to target. Throws
  // std::runtime_error when the directory is missing and cannot be made private.
  PortRegistration(const std::filesystem::path& registry, const std::string& target);
  ~PortRegistration();
  PortRegistration(const PortRegistration&) = delete;
  PortRegistration& operator=(const PortRegistration&) = delete;

  const std::string& Name() const { return name_; }

 private:
  std::filesystem::path link_;
  std::string name_;
  link::UniqueFd lock_;  // held locked while the board lives: the entry counts only while it is
};

}  // namespace tarnwick::sim
