// Token interning. Records live in fixed-size chunks that never move, so a
// token's address stays valid and "is this item a token?" is a range test.
// Lookups go through direct-mapped caches on the caller's string address
// (callers pass the same literals again and again), then an open-addressing
// table on the string's bytes. Words that cannot change (literals of the
// importing plug-in) have a cache of their own, answered without a look at
// the text; the others are compared with their token's text on every hit.
#include "tokens.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <link.h>
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

struct TokenTable {
  std::vector<std::unique_ptr<Token[]>> chunks;
  std::vector<std::unique_ptr<char[]>> texts;
  uint32_t count = 0;
  std::vector<uint32_t> slots;  // token index + 1; 0 is empty
  CacheEntry fixedWords[kFixedCacheSize];  // texts in read-only memory: they cannot change
  CacheEntry otherWords[kCacheSize];       // texts that may change: checked on every hit
  // Every fixed word met since the bracket opened, for those whose slot of
  // the cache another took: asking the loader again costs microseconds.
  std::unordered_map<const char*, const Token*> fixedMet;
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

namespace {

#ifdef _WIN32

// A mapped image's read-only pages (its string literals among them) keep
// their protection for as long as the image stays loaded.
bool InReadOnlySegment(const char* text, uint32_t length) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(text, &region, sizeof region) != sizeof region) return false;
  if (region.State != MEM_COMMIT || region.Type != MEM_IMAGE) return false;
  if (region.Protect != PAGE_READONLY && region.Protect != PAGE_EXECUTE_READ) return false;
  const auto first = reinterpret_cast<uintptr_t>(text);
  const auto base = reinterpret_cast<uintptr_t>(region.BaseAddress);
  return first + length - base < region.RegionSize;
}

#else

struct SegmentProbe {
  uintptr_t first;
  uintptr_t last;  // the text's terminating NUL
  bool readOnly;
};

int ProbeObject(dl_phdr_info* info, size_t, void* data) {
  auto* probe = static_cast<SegmentProbe*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (probe->first < start || probe->first - start >= segment.p_memsz) continue;
    probe->readOnly = (segment.p_flags & PF_W) == 0 && probe->last - start < segment.p_memsz;
    return 1;
  }
  return 0;
}

// A word in a loaded object's read-only segment (a string literal) cannot
// change while that object stays loaded, and the importing plug-in stays
// loaded for its whole import: inside an import bracket its words need no
// second look.
bool InReadOnlySegment(const char* text, uint32_t length) {
  const auto first = reinterpret_cast<uintptr_t>(text);
  SegmentProbe probe{first, first + length, false};
  dl_iterate_phdr(ProbeObject, &probe);
  return probe.readOnly;
}

#endif

// Any text not in the cache of fixed words.
__attribute__((noinline)) const Token* InternAfterCacheMiss(const char* text) {
  TokenTable& table = Table();
  const uint32_t slot = CacheSlot(text);
  CacheEntry& other = table.otherWords[slot];
  if (other.address == text && HoldsWord(text, *other.token)) return other.token;
  CacheEntry& fixed = table.fixedWords[FixedSlot(text)];
  if (auto met = table.fixedMet.find(text); met != table.fixedMet.end()) {
    fixed = CacheEntry{text, met->second};
    return met->second;
  }
  uint32_t length = 0;
  uint32_t hash = HashText(text, &length);
  const Token* token = table.Find(text, length, hash);
  if (!token) token = table.Add(text, length, hash, Word::Other);
  if (hostCore.importOpen && InReadOnlySegment(text, token->length)) {
    table.fixedMet.emplace(text, token);
    fixed = CacheEntry{text, token};
  } else {
    other = CacheEntry{text, token};
  }
  return token;
}
}  // namespace

const Token* InternToken(const char* text) {
  const CacheEntry& entry = Table().fixedWords[FixedSlot(text)];
  if (entry.address == text) return entry.token;
  return InternAfterCacheMiss(text);
}

void ForgetCachedWords() {
  for (CacheEntry& entry : Table().fixedWords) entry = CacheEntry{};
  for (CacheEntry& entry : Table().otherWords) entry = CacheEntry{};
  Table().fixedMet.clear();
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
  const vxhost::CacheEntry& entry = vxhost::Table().fixedWords[vxhost::FixedSlot(word)];
  if (entry.address == word) return const_cast<vxhost::Token*>(entry.token);
  return vxhost::InquireTokenSlowly(word);
}
