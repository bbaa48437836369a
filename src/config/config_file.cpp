#include "config/config_file.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include "config/scratch_config.h"
#include "core/error.h"

namespace vux {
namespace {

// Kept as one literal per line so that the blanks ending five of the lines
// stay visible.
constexpr char kDefaultConfigText[] =
    "%%%%%%%%%% PROGRAM STRINGS %%%%%%%%%%\n"
    "#STRINGS\n"
    "% Input and output file locations here ARE OVERRIDDEN if in/out files are specified on the command line\n"
    "% Absolute and relative paths are both acceptable\n"
    "DATA_FILE = C:\\Users\\Pellam\\Downloads\\6June2014-nose-high-2\\Q417-nose-high-2-UNFILTERED.csv\n"
    "OUTPUT_FILE = C:\\Users\\Pellam\\Documents\\MATLAB\\output.mat\n"
    "\n"
    "\n"
    "%%%%%%%%%% PROGRAM CONSTANTS %%%%%%%%%%\n"
    "#CONSTANTS\n"
    "WINDOW_SIZE = 10000 % in samples\n"
    "SAMPLE_FREQ = 10000 % in Hz\n"
    "\n"
    "PI = 3.14159265358979323846\n"
    "ADC_OFFSET = 2500 % in mV\n"
    "\n"
    "% Reference angles are in degrees\n"
    "THETA_X = -90\n"
    "THETA_Y = 0\n"
    "THETA_Z = -90\n"
    "\n"
    "\n"
    "%%%%%%%%%% WINDOW FUNCTION %%%%%%%%%%\n"
    "#WINDOW_FUNCTION\n"
    "WINDOW_FUNCTION = 0.5 * (1 - cos((2 * PI * input) / WINDOW_SIZE)) % Hanning Function\n"
    " \n"
    "\n"
    "%%%%%%%%%% USER EQUATIONS %%%%%%%%%%\n"
    "% <MODE>, <VARIABLE NAME> = EQUATION\n"
    "% Because we're using an equation interpreter, running in mode 1 will SIGNIFICANTLY slow down execution\n"
    "% Equations are executed in the order that they are listed here\n"
    "% Results are automatically stored in variables, and can be referenced in the column normalization equations\n"
    "% keyword 'count' gives integer value of the current position in the window\n"
    "%\n"
    "% MODE 0: executes before any other calculations are performed (***BEFORE*** the column data is processed)\n"
    "% You can reference channel data by entering the name of the channel\n"
    "% - For once-per-window data, this will pull the current window data point\n"
    "% - For read-every-sample data, the first point in the window will be used\n"
    "%\n"
    "% MODE 1: executes before every sample in the window (FFT-type) is processed\n"
    "% - Once-per-window data will still use the current window data point\n"
    "% - References to read-every-sample data will point at the \"current\" data point in the window\n"
    "#EQUATIONS\n"
    "0, SENSOR_PRES = (PRES + ADC_OFFSET - 500)\n"
    "0, TEMP_OHMS = (TEMP + ADC_OFFSET) / ((5000 - (TEMP + ADC_OFFSET)) / 4000)\n"
    "0, SENSOR_RH = (((HUMD + ADC_OFFSET) / 5000) - 0.16) / 0.0062\n"
    "\n"
    "\n"
    "%%%%%%%%%% DATA COLUMNS %%%%%%%%%%\n"
    "% <NAME>, <MULT_PER_WINDOW>, <OPERATION_TYPE>, <ROTATION>, <NORMALIZATION_EXPRESSION>\n"
    "% 1 - Column name\n"
    "% 2 - 0 = Read once per window, 1 = read every sample\n"
    "% 3 - Operation type (0 = none, 1 = normalization equation, 2 = FFT-type (subtract window mean before using division factor)\n"
    "% 4 - Rotate to match aircraft orientation (0 = disabled, <series><component axis><component rotation offset>\n"
    "%    --- Assigns channel to a set (series) of coordinate axes for rotation operations\n"
    "%    --- Component rotation offset accounts for accelerometer/gyro rotation with respect to VUX\n"
    "% 5 - The kind of plot that the MATLAB auto-plot script will generate for this column (0 = disabled)\n"
    "% 6 - Normalization equation (or division factor in the case of FFT-types)\n"
    "%\n"
    "% keyword 'input' is the current value of the channel data\n"
    "% Rotation data with less than three axes will be zero padded -- the data will still be rotated in three dimensions\n"
    "% Column equations are executed in the order that they are listed\n"
    "% Column equation results are saved to a variable with the same name as the column (for referencing in other equations)\n"
    "#COLUMNS\n"
    "TIME, 1, 0, 0, 0\n"
    "PRES, 0, 1, 0, SENSOR_PRES / 4500 * 17.4\n"
    "TEMP, 0, 1, 0, (TEMP_OHMS - 1000) / 3.75\n"
    "HUMD, 0, 1, 0, SENSOR_RH / (1.0546 - (0.00216 * TEMP))\n"
    "ANGX, 1, 2, 1x0, 1.23\n"
    "ANGY, 1, 2, 1y0, 1.25    \n"
    "ANGZ, 1, 2, 1z0, 1.27   \n"
    "LINX, 1, 2, 2x0, 108.4 \n"
    "LINY, 1, 2, 2y90, 100.4  % Note that the Y axis is rotated 90 degrees -- this accounts for rotation of the accelerometer relative to the VUX\n"
    "LINZ, 1, 2, 2z0, 104.3 \n"
    "\n"
    "%%%%%%%%%% DATA COLUMNS MATLAB OUTPUT %%%%%%%%%%\n"
    "% <NAME>, <PLOT TYPE>, <X AXIS LABEL>, <Y AXIS LABEL>, <PLOT TITLE>\n"
    "% (0 = disabled)\n"
    "#MATLAB\n"
    "TIME, 0, 0, 0, 0\n"
    "PRES, plot, seconds, psia, 0\n"
    "TEMP, plot, seconds, degrees Celsius, 0\n"
    "HUMD, plot, seconds, Relative Humidity, 0\n"
    "ANGX, loglog, Hz, deg^2/s, X Ang Rate Pwr Spectral Density\n"
    "ANGY, loglog, Hz, deg^2/s, Y Ang Rate Pwr Spectral Density\n"
    "ANGZ, loglog, Hz, deg^2/s, Z Ang Rate Pwr Spectral Density\n"
    "LINX, loglog, Hz, g^2/Hz, X Lin Accel Pwr Spectral Density\n"
    "LINY, loglog, Hz, g^2/Hz, Y Lin Accel Pwr Spectral Density\n"
    "LINZ, loglog, Hz, g^2/Hz, Z Lin Accel Pwr Spectral Density\n"
    "\n"
    "#ENDCFG";

// Keeps the `size` bytes of a configuration that the default is about to
// replace in vux_reader.cfg.bak, with the same permission bits, replacing an
// older backup in one step.
void BackUpReplacedConfig(UniqueFile file, long long size, const ConfigObserver& observer) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    if (std::ferror(file.get())) Fail(ErrorKind::ConfigCannotRead, kConfigFileName, {errno});
    struct stat info {};
    const bool known = ::fstat(::fileno(file.get()), &info) == 0;
    file.reset();
    if (bytes.empty()) return;

    ScratchConfig scratch(kBackupConfigName);
    scratch.Write(bytes.data(), bytes.size());
    if (known) scratch.KeepPermissions(info.st_mode);
    scratch.Install();
    if (observer) observer({ConfigStep::BackedUp, SectionNone, bytes.size()});
}

// Opens an existing configuration and returns it rewound when it is large
// enough to keep; returns null (file closed, its bytes backed up when it
// has any) when it must be replaced.
UniqueFile OpenExistingConfig(const char* path, const ConfigObserver& observer) {
    struct stat info {};
    if (::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) Fail(ErrorKind::ConfigNotRegular, path);
    UniqueFile file(std::fopen(path, "r"));
    if (!file) Fail(ErrorKind::ConfigCannotOpen, path, {errno});
    if (observer) observer({ConfigStep::ReadingFile});
    off_t size = -1;
    if (::fseeko(file.get(), 0, SEEK_END) == 0) size = ::ftello(file.get());
    if (size < 0 || ::fseeko(file.get(), 0, SEEK_SET) != 0) Fail(ErrorKind::ConfigCannotRead, path, {errno});
    if (static_cast<long long>(size) > kLargestReplacedConfigSize) return file;
    BackUpReplacedConfig(std::move(file), static_cast<long long>(size), observer);
    return nullptr;
}

}  // namespace

const std::string_view kDefaultConfig{kDefaultConfigText, sizeof kDefaultConfigText - 1};

UniqueFile WriteDefaultConfig(const ConfigObserver& observer) {
    ScratchConfig scratch(kConfigFileName);
    if (observer) observer({ConfigStep::WritingDefault});
    scratch.Write(kDefaultConfig.data(), kDefaultConfig.size());
    return InstallScratchConfig(scratch);
}

UniqueFile OpenConfig(const ConfigObserver& observer) {
    if (::access(kConfigFileName, F_OK) == 0) {
        if (UniqueFile kept = OpenExistingConfig(kConfigFileName, observer)) return kept;
    }
    return WriteDefaultConfig(observer);
}

std::optional<ConfigSection> MarkerSection(std::string_view token) {
    static constexpr std::array<std::pair<std::string_view, ConfigSection>, 7> kMarkers{{
        {"#ENDCFG", SectionEnd},
        {"#MATLAB", SectionMatlab},
        {"#COLUMNS", SectionColumns},
        {"#EQUATIONS", SectionEquations},
        {"#WINDOW_FUNCTION", SectionWindowFunction},
        {"#CONSTANTS", SectionConstants},
        {"#STRINGS", SectionStrings},
    }};
    for (const auto& [marker, section] : kMarkers) {
        if (token == marker) return section;
    }
    return std::nullopt;
}
}  // namespace vux
