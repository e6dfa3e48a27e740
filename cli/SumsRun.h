#pragma once
// korvane-cli's checksum files: --check-sums read before the run,
// --make-sums written after it, and what the run found out about them
// written to standard error.
#include <memory>
#include <optional>
#include <string>

#include "CliOptions.h"
#include "OutputFile.h"
#include "SumsCheck.h"
#include "VerifySetupInfo.h"

class TSumsRun {
 public:
  // Reads the manifests, naming every line that cannot be read on standard
  // error. An exit status when the program must end here: a manifest that
  // cannot be read, or a --sum-type not known.
  std::optional<int> Load(const TCliArguments& args);
  bool Checking() const { return Check != nullptr && Check->Checking(); }
  // With no items given, the manifests' directories become the items.
  void ChooseItems(TVerifySetupInfo& setup);
  // What the run feeds; null when no checksum option was given, so that a
  // run without them is the same as ever.
  TContentCheck* Contents() const { return Check.get(); }

  // After the run: names the files no manifest lists, and writes the new
  // manifest unless the run was stopped (a list of part of the files would
  // pass for all of them). False when it could not be written.
  bool Finish(bool stopped);

 private:
  bool LoadManifest(const std::string& path);
  void WriteMadeLines();
  bool WriteMadeManifest(bool stopped);

  std::unique_ptr<TSumsCheck> Check;
  std::optional<std::string> MakePath;
  static constexpr std::size_t MadeBatch = std::size_t{1} << 16;
  std::unique_ptr<Platform::TOutputFile> Made;
  std::string MadeLines;  // not written yet
  int MadeError = 0;      // of the first batch that could not be written
};
