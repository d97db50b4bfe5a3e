// varnholt-pack's command line: its table of options and what they choose.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "office/pack/options.h"
#include "office/read/read.h"
#include "office/write/seal.h"

struct PackOptions {
    std::filesystem::path roster, output, program;
    std::string sheet;
    ColumnChoice columns;
    Encoding encoding = Encoding::Detect;
    bool protect = true, allWarnings = false, help = false;
    std::optional<SealCost> cost = DEFAULT_SEAL_COST;  // none: calibrated on this machine (--cost auto)
    bool web = false;
    std::filesystem::path signingCertificate, signingPassFile;
    std::filesystem::path site;  // --site: the folder
};

// The default cost in words: "4 passes over 64 MiB".
std::string defaultCostText();

// varnholt-pack's options, each choosing in `into`.
Command packCommand(PackOptions& into);

// What --help prints.
std::string packUsage();

// The options of this command line; CommandLineError when it is refused.
PackOptions parsePackOptions(const std::vector<std::string>& args);
