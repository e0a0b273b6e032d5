// The plug-in frame: the exported entry point and its keyword dispatch, the
// header check, the import driver with its trap and message callback, the
// options file imp_bvh.ini, and the dialogs. Owns the options and the import state.
#include "frame.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "acclaim.h"
#include "bvh.h"
#include "resource.h"

ImportOptions importOptions;
ImportState importState;

static_assert(std::is_trivially_destructible_v<ImportOptions>);
static_assert(std::is_trivially_destructible_v<ImportState>);

// -- Module state

namespace {

// What the host told the library, kept until it is unloaded.
struct FrameState {
  HMODULE moduleHandle;
  HWND parentWindow;
  char* settingsDirectory;    // the host's copy; null until initialize delivers one
};

// Where the driver stands; decides what a host message of kind 5 does.
enum class DriverPhase : int16_t {
  Idle,       // no import: the message is only shown
  Opening,    // bracket begun, trap not armed yet: the import ends once it is
  Trapped,    // trap armed: jump to it
  Finishing,  // winding down: the message is only shown
};

// The driver's own bookkeeping for one import. It lives here rather than in
// the driver's locals because a jump to the trap returns into the driver.
struct DriverRun {
  const char* inputPath;      // the host's string, not copied
  int32_t result;
  int16_t bracketBegun;       // Import_IO_Initialize was called
  int16_t hostFatalPending;   // kind 5 arrived before the trap was armed
  DriverPhase phase;
};

FrameState frameState;
DriverRun driverRun;

constexpr const char* kDriverName = "ImportConverter_BiovisionAcclaim()";

}  // namespace

static_assert(std::is_trivially_destructible_v<FrameState>);
static_assert(std::is_trivially_destructible_v<DriverRun>);

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) frameState.moduleHandle = module;
  return TRUE;
}
#endif

void ApplyFirstUseDefaults() {
  if (importOptions.defaultsApplied) return;
  importOptions.distanceThreshold = 0.01f;
  importOptions.angularThreshold = 0.01f;
  importOptions.reduceTranslation = 0;
  importOptions.reduceRotation = 0;
  importOptions.defaultsApplied = 1;
}

static INT_PTR RunOptionsDialog();
static void RunAboutDialog();

// -- Entry point

namespace {

enum class EntryKeyword {
  ParentWindow,
  ParentInstance,
  Initialize,
  Shutdown,
  NewInstance,
  DestroyInstance,
  ValidateHeader,
  ShowOptionsDialog,
  ShowAboutDialog,
  ExecuteConverter,
  Unknown,
};

struct EntryKeywordName {
  const char* text;
  EntryKeyword keyword;
};

constexpr EntryKeywordName kEntryKeywords[] = {
    {"parent_hWnd", EntryKeyword::ParentWindow},
    {"parent_hInstance", EntryKeyword::ParentInstance},
    {"initialize", EntryKeyword::Initialize},
    {"shutdown", EntryKeyword::Shutdown},
    {"new_instance", EntryKeyword::NewInstance},
    {"destroy_instance", EntryKeyword::DestroyInstance},
    {"validate_header", EntryKeyword::ValidateHeader},
    {"show_options_dialog", EntryKeyword::ShowOptionsDialog},
    {"show_about_dialog", EntryKeyword::ShowAboutDialog},
    {"execute_geometry_converter", EntryKeyword::ExecuteConverter},
};

EntryKeyword FindEntryKeyword(const char* text) {
  for (const EntryKeywordName& entry : kEntryKeywords) {
    if (std::strcmp(text, entry.text) == 0) return entry.keyword;
  }
  return EntryKeyword::Unknown;
}

}  // namespace

// A null settings directory means the host gave none: the options file is
// then neither read nor written.
static void InitializeFromSettingsDirectory(const char* directory) {
  frameState.settingsDirectory = nullptr;
  if (directory != nullptr) Import_IO_Copy_String(&frameState.settingsDirectory, directory);
  ApplyFirstUseDefaults();

  char path[kOptionsPathSize];
  if (!BuildOptionsFilePath(path, 0)) return;
  Sg_Convert_Pathname(path);
  FILE* file = std::fopen(path, "r");
  if (file != nullptr) LoadImportConvertOptions_BVH(file);
}

VARNEX_EXPORT void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra) {
  *result = 0;
  if (keywords == nullptr) return;
  for (int i = 0; keywords[i] != nullptr && keywords[i][0] != '\0'; ++i) {
    void* value = values != nullptr ? values[i] : nullptr;
    switch (FindEntryKeyword(keywords[i])) {
      case EntryKeyword::ParentWindow:
        frameState.parentWindow = static_cast<HWND>(value);
        break;
      case EntryKeyword::Initialize:
        InitializeFromSettingsDirectory(static_cast<const char*>(value));
        break;
      case EntryKeyword::ValidateHeader:
        *result = ValidateFileHeader(static_cast<const char*>(value));
        break;
      case EntryKeyword::ShowOptionsDialog:
        *result = static_cast<int32_t>(RunOptionsDialog());
        break;
      case EntryKeyword::ShowAboutDialog:
        RunAboutDialog();
        break;
      case EntryKeyword::ExecuteConverter:
        ImportConverter_BiovisionAcclaim(keywords + i + 1, values != nullptr ? values + i + 1 : nullptr, result,
                                         extra);
        return;
      case EntryKeyword::ParentInstance:
      case EntryKeyword::Shutdown:
      case EntryKeyword::NewInstance:
      case EntryKeyword::DestroyInstance:
      case EntryKeyword::Unknown:
        break;
    }
  }
}

// -- Input files

FILE* OpenInputFile(const char* path, const char* mode) {
  FILE* file = std::fopen(path, mode);
  if (file == nullptr) return nullptr;
  int first = std::getc(file);
  if (first == EOF && std::ferror(file)) {
    std::fclose(file);
    return nullptr;
  }
  // The character goes back, or the end mark of an empty file is cleared:
  // the caller reads the stream from its start either way.
  if (first != EOF) std::ungetc(first, file);
  else std::clearerr(file);
  return file;
}

// -- Header check

// Answers 1 for a file we accept, -1 when it does not open, -2 otherwise.
// The extension decides; only a BVH file's first line is looked at.
int16_t ValidateFileHeader(const char* path) {
  if (path == nullptr) return -1;
  FILE* file = OpenInputFile(path, "rb");
  if (file == nullptr) return -1;
  size_t length = std::strlen(path);
  if (length < 3) {
    std::fclose(file);
    return -2;
  }
  char extension[4];
  std::memcpy(extension, path + length - 3, 4);
  Import_IO_String_To_Lower(extension, extension);

  char line[300];
  if (std::fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
  size_t lineLength = std::strlen(line);
  // Drops the line feed of a normal first line, and a real letter when the
  // file ends without one.
  if (lineLength > 0) line[lineLength - 1] = '\0';
  std::fclose(file);

  if (std::strcmp(extension, "bvh") == 0) {
    bool accepted = std::strncmp(line, "HIERARCHY", 9) == 0 || std::strncmp(line, "hierarchy", 9) == 0;
    return accepted ? 1 : -2;
  }
  if (std::strcmp(extension, "asf") == 0 || std::strcmp(extension, "amc") == 0) return 1;
  return -2;
}

// -- Import driver

namespace {

constexpr const char* kNoFileNameMessage = "No file name was given for the import. Aborting.\n";
constexpr const char* kNoExtensionMessage = "The filename must have a .bvh, .amc or .asf file extension.\n";
constexpr const char* kWrongFormatMessage = "File must be in BioVision or Acclaim format. Aborting.\n";
constexpr const char* kAmcAloneMessage =
    "Cannot import AMC data without a proper skeleton. Please select only the ASF file; the corresponding AMC file "
    "with the same filename will be imported automatically.\n";

float ThresholdFromString(const void* value) {
  const char* text = static_cast<const char*>(value);
  return text != nullptr ? static_cast<float>(std::atof(text)) : 0.0f;
}

int16_t FlagFromSlot(const void* value) {
  return static_cast<int16_t>(reinterpret_cast<uintptr_t>(value) & 0xffffu);
}

// Takes the driver's keywords into the options and the run; answers 1 when
// validate_header_2 answered and the driver must return at once.
int16_t ReadDriverKeywords(const char** keywords, void** values, int32_t* result) {
  if (keywords == nullptr) return 0;
  for (int i = 0; keywords[i] != nullptr; ++i) {
    const char* keyword = keywords[i];
    void* value = values != nullptr ? values[i] : nullptr;
    if (std::strcmp(keyword, "validate_header_2") == 0) {
      *result = ValidateFileHeader(static_cast<const char*>(value));
      return 1;
    } else if (std::strcmp(keyword, "filename") == 0) {
      driverRun.inputPath = static_cast<const char*>(value);
    } else if (std::strcmp(keyword, "distance_threshold") == 0) {
      importOptions.distanceThreshold = ThresholdFromString(value);
    } else if (std::strcmp(keyword, "angular_threshold") == 0) {
      importOptions.angularThreshold = ThresholdFromString(value);
    } else if (std::strcmp(keyword, "ena_trans_kf_reduction") == 0) {
      importOptions.reduceTranslation = FlagFromSlot(value);
    } else if (std::strcmp(keyword, "ena_rot_kf_reduction") == 0) {
      importOptions.reduceRotation = FlagFromSlot(value);
    } else {
      Sg_Report_Error(4, "ERR_GEOM_IMPORT_BAD_TOKEN", kDriverName, keyword);
    }
  }
  return 0;
}

void CloseInputFile() {
  if (importState.inputFile == nullptr) return;
  std::fclose(importState.inputFile);
  importState.inputFile = nullptr;
}

char* CopyString(const char* text) {
  size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

// Steps from the extension check to the end of the flow; the trap is armed.
int32_t ConvertOpenedFile(const char* path) {
  size_t length = std::strlen(path);
  if (length < 3) {
    CloseInputFile();
    Import_IO_Report_Error(4, kNoExtensionMessage);
    return 1;
  }
  char extension[4];
  std::memcpy(extension, path + length - 3, 4);
  Import_IO_String_To_Lower(extension, extension);
  importState.pathCopy = CopyString(path);

  bool isBvh = std::strcmp(extension, "bvh") == 0;
  bool isAsf = std::strcmp(extension, "asf") == 0;
  bool isAmc = std::strcmp(extension, "amc") == 0;
  if (!isBvh && !isAsf && !isAmc) {
    CloseInputFile();
    Import_IO_Report_Error(4, kWrongFormatMessage);
    return 1;
  }

  std::fseek(importState.inputFile, 0, SEEK_SET);
  importState.baseName = MakeImportBaseName(path);
  importState.fatal = 0;
  importState.keyTimeClamped = 0;
  if (isBvh) {
    Import_IO_Display_Info_Text("Reading Biovision Data");
    ResetBvhParseState();
    ImportBvh();
    return importState.fatal != 0 ? 1 : 0;
  }
  if (isAsf) {
    Import_IO_Display_Info_Text("Reading ASF Data");
    ImportAcclaim();
    return importState.fatal != 0 ? 1 : 0;
  }
  Import_IO_printf(kAmcAloneMessage);
  return 0;
}

// The end of every import that began the bracket: nothing an import made
// outlives it, whichever way it left.
void FinishImport() {
  driverRun.phase = DriverPhase::Finishing;
  importState.trapArmed = 0;
  CloseInputFile();
  ReleaseBvhModel();
  ReleaseAcclaimModel();
  std::free(importState.pathCopy);
  importState.pathCopy = nullptr;
  std::free(importState.baseName);
  importState.baseName = nullptr;
  if (driverRun.bracketBegun) Import_IO_Cleanup();
  driverRun.phase = DriverPhase::Idle;
}

void RunImport() {
  Sg_RegisterClassStorage(0xB7BDFFA9u, 0, 0);
  Sg_RegisterClassStorageAux(1);
  Sg_SetupTrieGraphSystem();

  // Without a file name there is nothing to open; the bracket is still
  // begun so that the message appears within the import like the others.
  driverRun.phase = DriverPhase::Opening;
  Import_IO_Initialize(driverRun.inputPath != nullptr ? driverRun.inputPath : "", ImportErrorCallback);
  driverRun.bracketBegun = 1;
  if (driverRun.inputPath == nullptr) {
    Import_IO_Report_Error(4, kNoFileNameMessage);
    driverRun.result = 1;
    FinishImport();
    return;
  }

  importState.inputFile = OpenInputFile(driverRun.inputPath, "rb");
  if (importState.inputFile == nullptr) {
    Sg_Report_Error(4, "ERR_FILE_OPEN_READ", kDriverName, "Biovision/Acclaim", driverRun.inputPath);
    driverRun.result = 1;
    FinishImport();
    return;
  }
  std::fseek(importState.inputFile, 0, SEEK_END);
  importState.inputFileSize = static_cast<int32_t>(std::ftell(importState.inputFile));
  std::fseek(importState.inputFile, 0, SEEK_SET);

  if (setjmp(importState.trap) != 0) {
    // A user abort or a host message of kind 5; the flows left their model behind.
    importState.trapArmed = 0;
    driverRun.phase = DriverPhase::Finishing;
    Import_IO_Abort_Cleanup();
    ReleaseBvhModel();
    ReleaseAcclaimModel();
    driverRun.result = 1;
  } else {
    importState.trapArmed = 1;
    driverRun.phase = DriverPhase::Trapped;
    if (driverRun.hostFatalPending) JumpToImportTrap();
    driverRun.result = ConvertOpenedFile(driverRun.inputPath);
  }
  FinishImport();
}

}  // namespace

[[noreturn]] void JumpToImportTrap() { longjmp(importState.trap, 1); }

void ImportConverter_BiovisionAcclaim(const char** keywords, void** values, int32_t* result, void* extra) {
  (void)extra;
  ApplyFirstUseDefaults();
  driverRun = DriverRun{};
  importState.inputFile = nullptr;
  if (ReadDriverKeywords(keywords, values, result)) return;
  RunImport();
  *result = driverRun.result;
}

// Shows the host's message; a message of kind 5 ends the import. Outside an
// import, or while it winds down, there is nothing to end.
void ImportErrorCallback(ImportIoMessage* message) {
  if (message == nullptr) return;
  if (message->text != nullptr) Import_IO_printf("%s", message->text);
  if (message->kind != 5) return;
  if (driverRun.phase == DriverPhase::Trapped && importState.trapArmed) JumpToImportTrap();
  if (driverRun.phase == DriverPhase::Opening) driverRun.hostFatalPending = 1;
}

char* MakeImportBaseName(const char* path) {
  size_t length = std::strlen(path);
  size_t end = length > 4 ? length - 4 : 0;  // one past the last character kept
  size_t start = end;
  while (start > 0 && path[start - 1] != '\\') --start;
  char* name = static_cast<char*>(std::malloc(end - start + 1));
  if (name == nullptr) return nullptr;
  std::memcpy(name, path + start, end - start);
  name[end - start] = '\0';
  return name;
}

// -- Options file

namespace {

constexpr const char* kOptionsPathTooLongForReading =
    "Warning: The settings directory is too long for the options file path; imp_bvh.ini is not read.\n";
constexpr const char* kOptionsPathTooLongForSaving =
    "Warning: The settings directory is too long for the options file path; imp_bvh.ini is not written.\n";
constexpr const char* kNoSettingsDirectoryForSaving =
    "Warning: The host gave no settings directory; imp_bvh.ini is not written.\n";

constexpr size_t kOptionsLineSize = 2048;
constexpr size_t kOptionsFieldSize = 128;

// atof's value truncated towards zero; a value beyond 32 bits saturates
// instead of being undefined, and NaN gives 0.
int16_t FlagFromText(const char* text) {
  double value = std::trunc(std::atof(text));
  int32_t whole = 0;
  if (value >= 2147483647.0) {
    whole = INT32_MAX;
  } else if (value <= -2147483648.0) {
    whole = INT32_MIN;
  } else if (value == value) {
    whole = static_cast<int32_t>(value);
  }
  return static_cast<int16_t>(static_cast<uint32_t>(whole) & 0xffffu);
}

// Reads at most 2047 characters up to and with a line feed; a longer line
// goes on as the next read, as the file's own reading has it. Answers 0 when
// nothing could be read.
int16_t ReadOptionsLine(FILE* file, char* line) {
  return std::fgets(line, static_cast<int>(kOptionsLineSize), file) != nullptr && !std::ferror(file) ? 1 : 0;
}

bool IsSkippedOptionsLine(const char* line) {
  return line[0] == '\0' || line[0] == '#' || line[0] == '[' || std::strlen(line) < 2;
}

void TakeOptionsEntry(const char* key, const char* value) {
  if (std::strcmp(key, "distance_threshold2") == 0) {
    importOptions.distanceThreshold = static_cast<float>(std::atof(value));
  } else if (std::strcmp(key, "angular_threshold2") == 0) {
    importOptions.angularThreshold = static_cast<float>(std::atof(value));
  } else if (std::strcmp(key, "ena_trans_kf_reduction") == 0) {
    importOptions.reduceTranslation = FlagFromText(value);
  } else if (std::strcmp(key, "ena_rot_kf_reduction") == 0) {
    importOptions.reduceRotation = FlagFromText(value);
  }
}

}  // namespace

int16_t BuildOptionsFilePath(char* path, int16_t forSaving) {
  path[0] = '\0';
  if (frameState.settingsDirectory == nullptr) {
    if (forSaving) Import_IO_printf(kNoSettingsDirectoryForSaving);
    return 0;
  }
  size_t directoryLength = std::strlen(frameState.settingsDirectory);
  if (directoryLength + sizeof kOptionsFileName > kOptionsPathSize) {
    Import_IO_printf(forSaving ? kOptionsPathTooLongForSaving : kOptionsPathTooLongForReading);
    return 0;
  }
  std::memcpy(path, frameState.settingsDirectory, directoryLength);
  std::memcpy(path + directoryLength, kOptionsFileName, sizeof kOptionsFileName);
  return 1;
}

int16_t SaveImportConvertOptions_BVH(char* path) {
  Sg_Convert_Pathname(path);
  FILE* file = std::fopen(path, "w");
  if (file == nullptr) {
    Sg_Report_Error(4, "OUTERR_FILE_OPEN_WRITE", "SaveImportConvertOptions_BVH()", "Biovision/Acclaim .INI", path);
    return 1;
  }
  std::fprintf(file, "# Default options for the Biovision/Acclaim import converter.\n");
  std::fprintf(file, "# !! Do not modify this file. It is written by the converter.\n");
  std::fprintf(file, "[Preferences]\n");
  std::fprintf(file, "distance_threshold2 = %g\n", static_cast<double>(importOptions.distanceThreshold));
  std::fprintf(file, "angular_threshold2 = %g\n", static_cast<double>(importOptions.angularThreshold));
  std::fprintf(file, "ena_trans_kf_reduction = %d\n", static_cast<int>(importOptions.reduceTranslation));
  std::fprintf(file, "ena_rot_kf_reduction = %d\n", static_cast<int>(importOptions.reduceRotation));
  std::fflush(file);
  std::fclose(file);
  return 0;
}

// Reads entries until the file ends or a malformed entry; whatever was taken
// before stays. A key or value longer than its 127-character buffer skips
// the line, as an unknown key would.
int16_t LoadImportConvertOptions_BVH(FILE* file) {
  char line[kOptionsLineSize];
  char key[kOptionsFieldSize];
  char value[kOptionsFieldSize];
  while (!std::feof(file)) {
    if (!ReadOptionsLine(file, line)) break;
    Import_IO_Strip_Whitespace(line);
    if (IsSkippedOptionsLine(line)) continue;

    char* keyStart = line;
    while (*keyStart == '=') ++keyStart;
    char* equals = std::strchr(keyStart, '=');
    if (*keyStart == '\0' || equals == nullptr) break;
    *equals = '\0';
    char* valueStart = equals + 1;
    valueStart[std::strcspn(valueStart, "\r\n")] = '\0';
    if (*valueStart == '\0') break;

    Import_IO_Strip_Whitespace(keyStart);
    Import_IO_Strip_Whitespace(valueStart);
    size_t keyLength = std::strlen(keyStart);
    size_t valueLength = std::strlen(valueStart);
    if (keyLength == 0 || valueLength == 0) break;
    if (keyLength >= kOptionsFieldSize || valueLength >= kOptionsFieldSize) continue;
    std::memcpy(key, keyStart, keyLength + 1);
    std::memcpy(value, valueStart, valueLength + 1);
    TakeOptionsEntry(key, value);
  }
  std::fclose(file);
  return 0;
}

// -- Dialogs
//
// Both dialogs come from the library's resources (imp_bvh.rc) and are owned by
// the host's parent window. The check boxes are not automatic: the procedure
// keeps their marks in step with the option flags, which change in memory at
// once, so a Cancel keeps them; only OK validates, takes the thresholds and
// writes the options file.

static void ShowDialogHelp(HWND dialog) {
  Import_IO_DisplayHelpTopic(dialog, frameState.settingsDirectory, "imp_bvh.hlp", "main");
}

static void ShowReductionState(HWND dialog, int32_t checkId, int32_t fieldId, int32_t labelId, int16_t flag) {
  CheckDlgButton(dialog, checkId, flag ? BST_CHECKED : BST_UNCHECKED);
  Import_IO_Set_Control_Enable(dialog, fieldId, flag ? 1 : 0);
  Import_IO_Set_Control_Enable(dialog, labelId, flag ? 1 : 0);
}

// Reads a threshold field; a value not above 0 is refused with its message
// and the field gets the focus back.
static int16_t TakeThreshold(HWND dialog, int32_t fieldId, const char* refusal, float* threshold) {
  float value = 0.0f;
  Import_IO_Dialog_To_SdFloat(dialog, fieldId, &value);
  if (!(value > 0.0f)) {
    MessageBoxA(dialog, refusal, "Error", MB_OK);
    Import_IO_SetFocus_Edit_Control(dialog, fieldId);
    return 0;
  }
  *threshold = value;
  return 1;
}

static INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  (void)lparam;
  if (message == WM_INITDIALOG) {
    Import_IO_Center_Window(frameState.parentWindow, dialog);
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wparam)) {
    case IDOK:
      EndDialog(dialog, 1);
      return 1;
    case IDC_HELP_BUTTON:
      ShowDialogHelp(dialog);
      return 1;
    default:
      return 0;
  }
}

static INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  (void)lparam;
  if (message == WM_INITDIALOG) {
    Import_IO_Center_Window(frameState.parentWindow, dialog);
    CheckDlgButton(dialog, IDC_TRANSLATION_REDUCTION, importOptions.reduceTranslation ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_ROTATION_REDUCTION, importOptions.reduceRotation ? BST_CHECKED : BST_UNCHECKED);
    Import_IO_SdFloat_To_Dialog(dialog, IDC_DISTANCE_THRESHOLD, importOptions.distanceThreshold);
    Import_IO_SdFloat_To_Dialog(dialog, IDC_ANGULAR_THRESHOLD, importOptions.angularThreshold);
    ShowReductionState(dialog, IDC_TRANSLATION_REDUCTION, IDC_DISTANCE_THRESHOLD, IDC_DISTANCE_LABEL,
                       importOptions.reduceTranslation);
    ShowReductionState(dialog, IDC_ROTATION_REDUCTION, IDC_ANGULAR_THRESHOLD, IDC_ANGULAR_LABEL,
                       importOptions.reduceRotation);
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wparam)) {
    case IDC_TRANSLATION_REDUCTION:
      importOptions.reduceTranslation = importOptions.reduceTranslation ? 0 : 1;
      ShowReductionState(dialog, IDC_TRANSLATION_REDUCTION, IDC_DISTANCE_THRESHOLD, IDC_DISTANCE_LABEL,
                         importOptions.reduceTranslation);
      return 1;
    case IDC_ROTATION_REDUCTION:
      importOptions.reduceRotation = importOptions.reduceRotation ? 0 : 1;
      ShowReductionState(dialog, IDC_ROTATION_REDUCTION, IDC_ANGULAR_THRESHOLD, IDC_ANGULAR_LABEL,
                         importOptions.reduceRotation);
      return 1;
    case IDOK: {
      // Both fields are checked whether or not their reduction is on.
      if (!TakeThreshold(dialog, IDC_DISTANCE_THRESHOLD, "The 'distance threshold' value must be greater than 0.",
                         &importOptions.distanceThreshold))
        return 0;
      if (!TakeThreshold(dialog, IDC_ANGULAR_THRESHOLD, "The 'angular threshold' value must be greater than 0.",
                         &importOptions.angularThreshold))
        return 0;
      char path[kOptionsPathSize];
      if (BuildOptionsFilePath(path, 1)) SaveImportConvertOptions_BVH(path);
      EndDialog(dialog, 1);
      return 1;
    }
    case IDCANCEL:
      EndDialog(dialog, 0);
      return 1;
    case IDC_HELP_BUTTON:
      ShowDialogHelp(dialog);
      return 1;
    case IDC_ABOUT_BUTTON:
      DialogBoxParamA(frameState.moduleHandle, "AboutBox", frameState.parentWindow, AboutBoxProc, 0);
      return 1;
    default:
      return 0;
  }
}

static INT_PTR RunOptionsDialog() {
  return DialogBoxParamA(frameState.moduleHandle, "OptionsDialog", frameState.parentWindow, OptionsDialogProc, 0);
}

static void RunAboutDialog() {
  DialogBoxParamA(frameState.moduleHandle, "AboutBox", frameState.parentWindow, AboutBoxProc, 0);
}
