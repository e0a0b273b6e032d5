// Token interning. Records live in fixed-size chunks that never move, so a
// token's address stays valid and "is this item a token?" is a range test.
// Lookups go through direct-mapped caches on the caller's string address
// (callers pass the same literals again and again), then an open-addressing
// table on the string's bytes. During an import, words that cannot change
// (the plug-in's literals) have a cache of their own, answered without a look
// at the text ("Fixed words" says when that is sound); the others are
// compared with their token's text on every hit.
#include "tokens.h"

// Fixed words need the loader's view of ELF segments and initial-exec
// thread-locals (a thread-local read with no call).
#if defined(__ELF__) && defined(__GNUC__)
#define VXHOST_FIXED_WORDS 1
#include <dlfcn.h>
#include <link.h>
#else
#define VXHOST_FIXED_WORDS 0
#endif

#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "varnex/sg.h"
#include "hostcall.h"

namespace vxhost {
namespace {

constexpr uint32_t kChunkBits = 9;
constexpr uint32_t kChunkSize = 1u << kChunkBits;
constexpr uint32_t kCacheSize = 256;
constexpr uint32_t kFixedCacheSize = 4096;

// An empty entry's address, which no caller can pass: not even a null word
// finds an entry.
const char kNoWord = '\0';

struct CacheEntry {
  const char* address = &kNoWord;
  const Token* token = nullptr;
};

struct HeldObject {
  uintptr_t base;  // where the loader put it
  void* handle;    // null for the main program
};

struct TokenTable {
  std::vector<std::unique_ptr<Token[]>> chunks;
  std::vector<std::unique_ptr<char[]>> texts;
  uint32_t count = 0;
  std::vector<uint32_t> slots;  // token index + 1; 0 is empty
  CacheEntry fixedWords[kFixedCacheSize];  // texts in read-only memory: see "Fixed words"
  CacheEntry otherWords[kCacheSize];       // texts that may change: checked on every hit
  // Every fixed word met since the bracket opened, for those whose slot of
  // the cache another took: asking the loader again costs microseconds.
  std::unordered_map<const char*, const Token*> fixedMet;
  std::vector<HeldObject> heldObjects;  // the objects the fixed words lie in
  const void* owner = nullptr;           // the owning thread's threadFixedWords, by address
  const Token* known[static_cast<int>(Word::Count)] = {};

  TokenTable();
  Token& At(uint32_t index) { return chunks[index >> kChunkBits][index & (kChunkSize - 1)]; }
  const Token* Find(const char* text, uint32_t length, uint32_t hash);
  const Token* Add(const char* text, uint32_t length, uint32_t hash, Word word);
  void Grow();
};

// FNV-1a; also measures the string so it is walked only once.
inline uint32_t HashText(const char* text, uint32_t* length) {
  uint32_t hash = 2166136261u;
  const char* p = text;
  for (; *p; ++p) hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
  *length = static_cast<uint32_t>(p - text);
  return hash;
}

// Fibonacci hashing: neighbouring literals land in different slots.
inline uint32_t CacheSlot(const char* address) {
  return static_cast<uint32_t>((reinterpret_cast<uint64_t>(address) * 0x9E3779B97F4A7C15ull) >> 56);
}
static_assert(kCacheSize == 256);

// A plug-in's literals lie close together: by their address's low bits, any
// within 4 KB of each other get slots of their own.
inline uint32_t FixedSlot(const char* address) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) & (kFixedCacheSize - 1));
}

const char* const kWordTexts[] = {
#define VXHOST_WORD_TEXT(id, text) text,
    VXHOST_WORDS(VXHOST_WORD_TEXT)
#undef VXHOST_WORD_TEXT
};

TokenTable::TokenTable() {
  slots.assign(256, 0);
  for (int i = 0; i < static_cast<int>(Word::Count); ++i) {
    uint32_t length = 0;
    uint32_t hash = HashText(kWordTexts[i], &length);
    known[i] = Add(kWordTexts[i], length, hash, static_cast<Word>(i));
    // IsWordToken finds the host's words by their place in the first chunk.
    if (known[i] != &At(static_cast<uint32_t>(i))) std::abort();
  }
}

const Token* TokenTable::Find(const char* text, uint32_t length, uint32_t hash) {
  const uint32_t mask = static_cast<uint32_t>(slots.size()) - 1;
  for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
    uint32_t slot = slots[i];
    if (slot == 0) return nullptr;
    const Token& token = At(slot - 1);
    if (token.length == length && std::memcmp(token.text, text, length) == 0) return &token;
  }
}

const Token* TokenTable::Add(const char* text, uint32_t length, uint32_t hash, Word word) {
  if ((count + 1) * 2 > slots.size()) Grow();
  if ((count >> kChunkBits) == chunks.size()) {
    chunks.push_back(std::make_unique<Token[]>(kChunkSize));
    firstTokens.more = chunks.size() > 1;
  }
  auto copy = std::make_unique<char[]>(length + 1);
  std::memcpy(copy.get(), text, length + 1);
  Token& token = At(count);
  token = Token{copy.get(), length, word};
  if (count < kChunkSize) {
    firstTokens.base = reinterpret_cast<uintptr_t>(chunks[0].get());
    firstTokens.count = count + 1;
  }
  texts.push_back(std::move(copy));
  const uint32_t mask = static_cast<uint32_t>(slots.size()) - 1;
  uint32_t i = hash & mask;
  while (slots[i] != 0) i = (i + 1) & mask;
  slots[i] = ++count;
  return &token;
}

void TokenTable::Grow() {
  std::vector<uint32_t> old(slots.size() * 2, 0);
  old.swap(slots);
  const uint32_t mask = static_cast<uint32_t>(slots.size()) - 1;
  for (uint32_t slot : old) {
    if (slot == 0) continue;
    uint32_t length = 0;
    uint32_t i = HashText(At(slot - 1).text, &length) & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = slot;
  }
}

}  // namespace

TokenRange firstTokens;

namespace {
// Built during static initialisation, before any import can ask for a token.
TokenTable tokenTable;
inline TokenTable& Table() { return tokenTable; }

// Whether text holds the token's word. The token's characters are never NUL
// before its end, so a shorter text differs at its own NUL and the loop never
// reads past it.
inline bool HoldsWord(const char* text, const Token& token) {
  for (uint32_t i = 0; i <= token.length; ++i)
    if (text[i] != token.text[i]) return false;
  return true;
}

}  // namespace

// -- Fixed words
//
// A word in a loaded object's read-only segment (a string literal) cannot
// change while the object stays loaded, so during an import such words are
// answered by their address alone. Two rules make that sound:
// - Lifetime: the cache holds a reference to every object whose words it
//   keeps, taken from the loader as dlopen takes one, so no object unloads
//   while its words are cached, whatever the host program does. The cache is
//   emptied and the references given back whenever an import bracket opens
//   or closes and when the host is reset.
// - Threads: the host serves one thread at a time. The cache belongs to the
//   thread that opened the import: only that thread's lookups fill it, any
//   other thread's take the general path, and a thread that owned an
//   earlier import's cache drops it at its first miss.
// Off ELF systems every lookup takes the general path.
namespace {

#if VXHOST_FIXED_WORDS

struct SegmentProbe {
  uintptr_t first;
  uintptr_t last;  // the text's terminating NUL
  bool readOnly = false;
  uintptr_t objectBase = 0;
  const char* objectName = nullptr;
};

int ProbeObject(dl_phdr_info* info, size_t, void* data) {
  auto* probe = static_cast<SegmentProbe*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (probe->first < start || probe->first - start >= segment.p_memsz) continue;
    probe->readOnly = (segment.p_flags & PF_W) == 0 && probe->last - start < segment.p_memsz;
    probe->objectBase = info->dlpi_addr;
    probe->objectName = info->dlpi_name;
    return 1;
  }
  return 0;
}

// A reference to the object at base, held until ForgetCachedWords. The main
// program (named "") never unloads; any other object is opened again by the
// name it was loaded under, which finds the loaded one and counts a user.
bool HoldObject(TokenTable& table, uintptr_t base, const char* name) {
  for (const HeldObject& held : table.heldObjects)
    if (held.base == base) return true;
  void* handle = nullptr;
  if (name && *name) {
    handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    link_map* map = nullptr;
    if (!handle) return false;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map->l_addr != base) {
      dlclose(handle);  // another object answers to that name
      return false;
    }
  }
  table.heldObjects.push_back(HeldObject{base, handle});
  return true;
}

// Whether the word lies in a read-only segment of an object now held.
bool HeldReadOnly(TokenTable& table, const char* text, uint32_t length) {
  const auto first = reinterpret_cast<uintptr_t>(text);
  SegmentProbe probe{first, first + length};
  dl_iterate_phdr(ProbeObject, &probe);
  return probe.readOnly && HoldObject(table, probe.objectBase, probe.objectName);
}

void LetGoOfObjects(TokenTable& table) {
  for (const HeldObject& held : table.heldObjects)
    if (held.handle) dlclose(held.handle);
  table.heldObjects.clear();
}

// The fixed words' cache on the thread that owns it, null on any other.
[[gnu::tls_model("initial-exec")]] thread_local CacheEntry* threadFixedWords = nullptr;

#else

bool HeldReadOnly(TokenTable&, const char*, uint32_t) { return false; }
void LetGoOfObjects(TokenTable&) {}
CacheEntry* const threadFixedWords = nullptr;

#endif

// Any text not in the cache of fixed words.
[[gnu::noinline]] const Token* InternAfterCacheMiss(const char* text) {
  TokenTable& table = Table();
  CacheEntry& other = table.otherWords[CacheSlot(text)];
  if (other.address == text && HoldsWord(text, *other.token)) return other.token;
  CacheEntry* fixedWords = threadFixedWords;
#if VXHOST_FIXED_WORDS
  if (fixedWords && table.owner != &threadFixedWords) fixedWords = threadFixedWords = nullptr;
#endif
  if (fixedWords) {
    if (auto met = table.fixedMet.find(text); met != table.fixedMet.end()) {
      fixedWords[FixedSlot(text)] = CacheEntry{text, met->second};
      return met->second;
    }
  }
  uint32_t length = 0;
  uint32_t hash = HashText(text, &length);
  const Token* token = table.Find(text, length, hash);
  if (!token) token = table.Add(text, length, hash, Word::Other);
  if (fixedWords && hostCore.importOpen && hostCore.fastPaths && HeldReadOnly(table, text, token->length)) {
    table.fixedMet.emplace(text, token);
    fixedWords[FixedSlot(text)] = CacheEntry{text, token};
  } else {
    other = CacheEntry{text, token};
  }
  return token;
}

// A hit in the fixed words' cache, for the thread that owns it.
[[gnu::always_inline]] inline const Token* FixedWord(const char* text) {
  const CacheEntry* fixedWords = threadFixedWords;
  if (!fixedWords) return nullptr;
  const CacheEntry& entry = fixedWords[FixedSlot(text)];
  return entry.address == text ? entry.token : nullptr;
}

}  // namespace

const Token* InternToken(const char* text) {
  if (const Token* token = FixedWord(text)) return token;
  return InternAfterCacheMiss(text);
}

void ForgetCachedWords() {
  TokenTable& table = Table();
  for (CacheEntry& entry : table.fixedWords) entry = CacheEntry{};
  for (CacheEntry& entry : table.otherWords) entry = CacheEntry{};
  table.fixedMet.clear();
  LetGoOfObjects(table);
}

void OwnFixedWords(bool own) {
  ForgetCachedWords();
#if VXHOST_FIXED_WORDS
  threadFixedWords = own ? Table().fixedWords : nullptr;
  Table().owner = own ? &threadFixedWords : nullptr;
#else
  (void)own;
#endif
}

const Token* AsTokenBeyondFirstChunk(const void* item) {
  TokenTable& table = Table();
  const auto address = reinterpret_cast<uintptr_t>(item);
  for (size_t c = 1; c < table.chunks.size(); ++c) {
    const auto base = reinterpret_cast<uintptr_t>(table.chunks[c].get());
    if (address < base || address >= base + kChunkSize * sizeof(Token)) continue;
    if ((address - base) % sizeof(Token) != 0) return nullptr;
    uint32_t index = static_cast<uint32_t>((c << kChunkBits) + (address - base) / sizeof(Token));
    return index < table.count ? &table.At(index) : nullptr;
  }
  return nullptr;
}

const char* WordText(Word word) {
  return word == Word::Other ? "?" : kWordTexts[static_cast<int>(word)];
}

}  // namespace vxhost

namespace vxhost {
namespace {
// Everything but the cached answer, kept out of line so that the common
// path needs no stack frame.
[[gnu::noinline]] SgToken InquireTokenSlowly(const char* word) noexcept {
  if (!word) {
    Guarded("Sg_Inquire_Token()", [] { ReportHostError("Sg_Inquire_Token()", "item 1: expected a word, found 0"); });
    return nullptr;
  }
  try {
    return const_cast<Token*>(InternToken(word));
  } catch (...) {
  }
  // Out of memory: an import ends here, with no handler left on the stack.
  NoteOutOfMemory("Sg_Inquire_Token()");
  AfterHostCall();
  return nullptr;
}
}  // namespace
}  // namespace vxhost

// Not counted as a host call and never logged: it is asked ~11 times per key.
extern "C" SgToken Sg_Inquire_Token(const char* word) {
  // The fixed words' cache again, here, so that the common answer costs no
  // further call; a null word never matches an entry.
  if (const vxhost::Token* token = vxhost::FixedWord(word)) return const_cast<vxhost::Token*>(token);
  return vxhost::InquireTokenSlowly(word);
}
