// The stand-in host: the host operations as a host implements them, plus the
// records and switches of tesk_control.h.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_control.h"

namespace {

constexpr int32_t kStringParamSize = 128;
constexpr size_t kResolvedPathSize = 260;

struct Loader {
  std::string pattern;
  LoaderProc proc;
};

struct Command {
  std::string name;
  CommandProc proc;
  std::string category;
};

struct Block {
  uint32_t size;
  char* data;
};

struct HostState {
  std::mutex mutex;
  std::vector<std::string> events;
  std::vector<std::string> log;
  std::vector<std::string> violations;
  std::vector<Loader> loaders;
  std::vector<Command> commands;
  std::vector<Block> blocks;
  bool writeDirectory = false;
  std::string directory;  // bytes written, terminator included when wanted
  std::string base;
  bool failAllocMem = false;
};

HostState& State() {
  static HostState state;
  return state;
}

void AddViolation(std::string what) {
  std::lock_guard lock(State().mutex);
  State().violations.push_back(std::move(what));
}

// One running command: its inputs, the outputs set so far, the flag.
struct HostCommandCallState {
  const char* name;
  const TeskValue* inputs;
  int32_t inputCount;
  int32_t nextInput;
  TeskOutcome* outcome;
  int32_t violations;
};

thread_local HostCommandCallState* tCall = nullptr;
thread_local int32_t tLoaderAllocs = -1;    // AllocMem calls in this loader call; -1 outside one
thread_local void* tLoaderBlock = nullptr;  // the block AllocMem last gave this loader call

HostCommandCallState* CallOf(HostContext context, const char* operation) {
  HostCommandCallState* call = tCall;
  if (call == nullptr) {
    AddViolation(std::string(operation) + " outside a command call");
    return nullptr;
  }
  if (reinterpret_cast<HostCommandCallState*>(context) != call) {
    ++call->violations;
    AddViolation(std::string(call->name) + ": " + operation + " with a foreign HostContext");
  }
  return call;
}

void CallViolation(HostCommandCallState* call, const std::string& what) {
  ++call->violations;
  AddViolation(std::string(call->name) + ": " + what);
}

const TeskValue* NextInput(HostCommandCallState* call, char kind, const char* operation) {
  if (call->outcome->outputCount > 0 || call->outcome->flag != -1)
    CallViolation(call, std::string(operation) + " after an output or the flag");
  if (call->nextInput >= call->inputCount) {
    CallViolation(call, std::string(operation) + " beyond the inputs given");
    return nullptr;
  }
  const TeskValue* input = &call->inputs[call->nextInput++];
  if (input->kind != kind)
    CallViolation(call, std::string(operation) + " on an input of another type");
  return input;
}

TeskValue* NextOutput(HostCommandCallState* call, const char* operation) {
  if (call->outcome->flag != -1) CallViolation(call, std::string(operation) + " after the flag");
  if (call->outcome->outputCount >= kTeskMaxOutputs) {
    CallViolation(call, std::string(operation) + ": too many outputs");
    return nullptr;
  }
  return &call->outcome->outputs[call->outcome->outputCount++];
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (suffix.size() > text.size()) return false;
  return _strnicmp(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

// "*.ext" matches a file name ending in ".ext", ignoring case.
bool PatternMatches(std::string_view pattern, std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string_view fileName = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (!pattern.empty() && pattern.front() == '*')
    return EndsWithNoCase(fileName, pattern.substr(1));
  return fileName.size() == pattern.size() && EndsWithNoCase(fileName, pattern);
}

// With the state's mutex held.
void FreeBlocks(HostState& state) {
  for (const Block& block : state.blocks) std::free(block.data);
  state.blocks.clear();
}

bool IsAbsolute(std::string_view path) {
  return (path.size() >= 2 && path[1] == ':') ||
         (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

}  // namespace

extern "C" {

// ---- host operations ------------------------------------------------------

void ORVO_CDECL Log(const char* text) {
  std::lock_guard lock(State().mutex);
  State().log.emplace_back(text);
  State().events.push_back(std::string("log:") + text);
}

void ORVO_CDECL RegisterLoader(const char* pattern, LoaderProc loader) {
  std::lock_guard lock(State().mutex);
  State().loaders.push_back({pattern, loader});
  State().events.push_back(std::string("loader:") + pattern);
}

void ORVO_CDECL RegisterCommand(const char* name, CommandProc handler, const char* category) {
  std::lock_guard lock(State().mutex);
  State().commands.push_back({name, handler, category});
  State().events.push_back(std::string("command:") + name + ":" + category);
}

void ORVO_CDECL GetDirectoryPath(int32_t kind, char* buffer) {
  std::lock_guard lock(State().mutex);
  State().events.push_back("directory:" + std::to_string(kind));
  if (kind == 1 && State().writeDirectory)
    std::memcpy(buffer, State().directory.data(), State().directory.size());
}

void* ORVO_CDECL AllocMem(uint32_t size) {
  if (tLoaderAllocs >= 0 && ++tLoaderAllocs > 1)
    AddViolation("AllocMem called twice in one loader call");
  std::lock_guard lock(State().mutex);
  State().events.push_back("alloc:" + std::to_string(size));
  if (State().failAllocMem) return nullptr;
  char* block = static_cast<char*>(std::calloc(size == 0 ? 1 : size, 1));
  if (block != nullptr) State().blocks.push_back({size, block});
  if (tLoaderAllocs >= 0) tLoaderBlock = block;
  return block;
}

// A full path that does not fit the buffer is never cut (a cut one names
// another file): the plug-in gets the empty text, and the log says why.
void ORVO_CDECL ResolvePath(const char* path, char* buffer) {
  std::lock_guard lock(State().mutex);
  State().events.push_back(std::string("resolve:") + path);
  const std::string full =
      IsAbsolute(path) || State().base.empty() ? std::string(path) : State().base + "\\" + path;
  if (full.size() < kResolvedPathSize) {
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    return;
  }
  buffer[0] = '\0';
  const std::string why = "ResolvePath: " + full + " takes " + std::to_string(full.size()) +
                          " bytes, more than the 259 that fit; gave the empty text";
  State().log.push_back(why);
  State().events.push_back("log:" + why);
}

int32_t ORVO_CDECL GetIntParam(HostContext context) {
  HostCommandCallState* call = CallOf(context, "GetIntParam");
  if (call == nullptr) return 0;
  const TeskValue* input = NextInput(call, 'i', "GetIntParam");
  return input == nullptr ? 0 : input->i;
}

float ORVO_CDECL GetFloatParam(HostContext context) {
  HostCommandCallState* call = CallOf(context, "GetFloatParam");
  if (call == nullptr) return 0;
  const TeskValue* input = NextInput(call, 'f', "GetFloatParam");
  return input == nullptr ? 0.0f : input->f;
}

void ORVO_CDECL GetStringParam(HostContext context, char* buffer, int32_t size) {
  HostCommandCallState* call = CallOf(context, "GetStringParam");
  if (call == nullptr) return;
  if (size != kStringParamSize)
    CallViolation(call, "GetStringParam with size " + std::to_string(size));
  const TeskValue* input = NextInput(call, 's', "GetStringParam");
  const char* text = input == nullptr || input->s == nullptr ? "" : input->s;
  const size_t length = std::min<size_t>(std::strlen(text), size > 0 ? size - 1 : 0);
  if (size <= 0) return;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

void ORVO_CDECL SetIntParam(HostContext context, int32_t value) {
  HostCommandCallState* call = CallOf(context, "SetIntParam");
  if (call == nullptr) return;
  if (TeskValue* output = NextOutput(call, "SetIntParam")) *output = {'i', value, 0.0f, nullptr};
}

void ORVO_CDECL SetFloatParam(HostContext context, float value) {
  HostCommandCallState* call = CallOf(context, "SetFloatParam");
  if (call == nullptr) return;
  if (TeskValue* output = NextOutput(call, "SetFloatParam")) *output = {'f', 0, value, nullptr};
}

void ORVO_CDECL SetStringParam(HostContext context, const char* text) {
  HostCommandCallState* call = CallOf(context, "SetStringParam");
  if (call == nullptr) return;
  TeskValue* output = NextOutput(call, "SetStringParam");
  if (output == nullptr) return;
  char* copy = call->outcome->text[output - call->outcome->outputs];
  const size_t length = strnlen(text, kTeskMaxText);
  if (length == kTeskMaxText) CallViolation(call, "SetStringParam text longer than the host keeps");
  std::memcpy(copy, text, std::min<size_t>(length, kTeskMaxText - 1));
  copy[std::min<size_t>(length, kTeskMaxText - 1)] = '\0';
  *output = {'s', 0, 0.0f, copy};
}

void ORVO_CDECL UpdateCompareFlag(HostContext context, int32_t flag) {
  HostCommandCallState* call = CallOf(context, "UpdateCompareFlag");
  if (call == nullptr) return;
  if (call->outcome->flag != -1) CallViolation(call, "UpdateCompareFlag called twice");
  if (flag != 0 && flag != 1) CallViolation(call, "UpdateCompareFlag with " + std::to_string(flag));
  call->outcome->flag = flag;
}

// ---- control interface ----------------------------------------------------

void ORVO_CDECL TeskReset(void) {
  HostState& state = State();
  std::lock_guard lock(state.mutex);
  state.events.clear();
  state.log.clear();
  state.violations.clear();
  state.loaders.clear();
  state.commands.clear();
  FreeBlocks(state);
  state.writeDirectory = false;
  state.directory.clear();
  state.base.clear();
  state.failAllocMem = false;
}

void ORVO_CDECL TeskReleaseBlocks(void) {
  HostState& state = State();
  std::lock_guard lock(state.mutex);
  state.events.clear();
  FreeBlocks(state);
}

void ORVO_CDECL TeskSetDirectory(const char* text) {
  std::lock_guard lock(State().mutex);
  State().writeDirectory = text != nullptr;
  State().directory = text == nullptr ? std::string() : std::string(text, std::strlen(text) + 1);
}

void ORVO_CDECL TeskSetDirectoryBytes(const char* bytes, int32_t count) {
  std::lock_guard lock(State().mutex);
  State().writeDirectory = true;
  State().directory.assign(bytes, count);
}

void ORVO_CDECL TeskSetBase(const char* directory) {
  std::lock_guard lock(State().mutex);
  State().base = directory;
}

void ORVO_CDECL TeskFailAllocMem(int32_t fail) {
  std::lock_guard lock(State().mutex);
  State().failAllocMem = fail != 0;
}

#define TESK_LIST_ACCESS(Count, Item, member)                                             \
  int32_t ORVO_CDECL Count(void) {                                                        \
    std::lock_guard lock(State().mutex);                                                  \
    return static_cast<int32_t>(State().member.size());                                   \
  }                                                                                       \
  const char* ORVO_CDECL Item(int32_t index) {                                            \
    std::lock_guard lock(State().mutex);                                                  \
    if (index < 0 || static_cast<size_t>(index) >= State().member.size()) return nullptr; \
    return State().member[index].c_str();                                                 \
  }

TESK_LIST_ACCESS(TeskEventCount, TeskEvent, events)
TESK_LIST_ACCESS(TeskLogCount, TeskLogLine, log)
TESK_LIST_ACCESS(TeskViolationCount, TeskViolation, violations)

int32_t ORVO_CDECL TeskAllocCount(void) {
  std::lock_guard lock(State().mutex);
  return static_cast<int32_t>(State().blocks.size());
}

uint32_t ORVO_CDECL TeskAllocSize(int32_t index) {
  std::lock_guard lock(State().mutex);
  return State().blocks.at(index).size;
}

const char* ORVO_CDECL TeskAllocBlock(int32_t index) {
  std::lock_guard lock(State().mutex);
  return State().blocks.at(index).data;
}

char* ORVO_CDECL TeskImport(const char* path, int32_t* found) {
  LoaderProc loader = nullptr;
  {
    std::lock_guard lock(State().mutex);
    for (const Loader& candidate : State().loaders)
      if (PatternMatches(candidate.pattern, path)) {
        loader = candidate.proc;
        break;
      }
  }
  *found = loader != nullptr;
  if (loader == nullptr) return nullptr;
  tLoaderAllocs = 0;
  tLoaderBlock = nullptr;
  char* text = loader(path);
  if (text != nullptr && (tLoaderAllocs != 1 || text != tLoaderBlock))
    AddViolation("loader result not from AllocMem");
  tLoaderAllocs = -1;
  return text;
}

void ORVO_CDECL TeskRunCommand(const char* name, const TeskValue* inputs, int32_t count,
                               TeskOutcome* outcome) {
  std::memset(outcome, 0, sizeof *outcome);
  outcome->flag = -1;
  CommandProc proc = nullptr;
  {
    std::lock_guard lock(State().mutex);
    for (const Command& command : State().commands)
      if (command.name == name) proc = command.proc;
  }
  if (proc == nullptr) return;
  outcome->found = 1;
  HostCommandCallState call{name, inputs, count, 0, outcome, 0};
  tCall = &call;
  outcome->status = proc(reinterpret_cast<HostContext>(&call));
  tCall = nullptr;
  if (call.nextInput < count)
    CallViolation(&call, std::to_string(count - call.nextInput) + " inputs left unread");
  outcome->violations = call.violations;
}

}  // extern "C"
