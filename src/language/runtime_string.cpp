// The string pool. Objects come from blocks that are never returned, so a
// string expression's temporaries only move objects between the free list and
// the live list; the free list is FIFO so a released object rests as long as
// possible before reuse. Main thread only, like the rest of the runtime.
#include "language/runtime_string.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>
#include <new>

namespace trelm {
namespace {

constexpr std::size_t kBlockStrings = 512;

struct Block {
    Block* next = nullptr;
    RuntimeString strings[kBlockStrings];
};

// Plain pointers only: the pool must outlive every static destructor that may
// still release a string, and stays reachable for leak checkers.
Block* blocks = nullptr;
RuntimeString* freeHead = nullptr;
RuntimeString* freeTail = nullptr;
RuntimeString* liveHead = nullptr;
RuntimeString* liveTail = nullptr;
std::int32_t liveCount = 0;

constexpr std::size_t kMaxSize = std::numeric_limits<std::uint32_t>::max() - 1;

void appendFree(RuntimeString* s) {
    s->prev = nullptr;
    s->next = nullptr;
    s->data = nullptr;  // marks the object as free
    s->size = 0;
    s->capacity = 0;
    if (freeTail) freeTail->next = s;
    else freeHead = s;
    freeTail = s;
}

void growPool() {
    Block* block = new Block;
    block->next = blocks;
    blocks = block;
    for (RuntimeString& s : block->strings) appendFree(&s);
}

void freeText(RuntimeString* s) {
    if (s->onHeap()) ::operator delete(s->data);
}

void unlinkLive(RuntimeString* s) {
    if (s->prev) s->prev->next = s->next;
    else liveHead = s->next;
    if (s->next) s->next->prev = s->prev;
    else liveTail = s->prev;
}

RuntimeString* allocate() {
    if (!freeHead) growPool();
    RuntimeString* s = freeHead;
    freeHead = s->next;
    if (!freeHead) freeTail = nullptr;
    s->data = s->inlineText;
    s->size = 0;
    s->capacity = RuntimeString::kInlineCapacity;
    s->next = nullptr;
    s->prev = liveTail;
    if (liveTail) liveTail->next = s;
    else liveHead = s;
    liveTail = s;
    ++liveCount;
    return s;
}

char* allocateText(std::size_t capacity) {
    return static_cast<char*>(::operator new(capacity + 1));
}

}  // namespace

RuntimeString* newString(std::string_view bytes) {
    if (bytes.size() > kMaxSize) throw std::bad_alloc();
    // Allocate the text first so that a failure leaves the pool untouched.
    char* heap = bytes.size() > RuntimeString::kInlineCapacity ? allocateText(bytes.size()) : nullptr;
    RuntimeString* s = allocate();
    if (heap) {
        s->data = heap;
        s->capacity = static_cast<std::uint32_t>(bytes.size());
    }
    if (!bytes.empty()) std::memcpy(s->data, bytes.data(), bytes.size());
    s->size = static_cast<std::uint32_t>(bytes.size());
    s->data[s->size] = '\0';
    return s;
}

std::string_view stringView(const RuntimeString* s) {
    return s ? std::string_view(s->data, s->size) : std::string_view();
}

const char* stringText(const RuntimeString* s) {
    return s ? s->data : "";
}

void appendToString(RuntimeString* s, std::string_view bytes) {
    if (bytes.empty()) return;
    if (bytes.size() > kMaxSize - s->size) throw std::bad_alloc();
    const std::size_t need = s->size + bytes.size();
    if (need > s->capacity) {
        std::size_t capacity = std::max<std::size_t>(need, std::size_t{s->capacity} * 2);
        if (capacity > kMaxSize) capacity = kMaxSize;
        char* text = allocateText(capacity);
        std::memcpy(text, s->data, s->size);
        // The old text stays valid until here, so bytes may come from s itself.
        std::memcpy(text + s->size, bytes.data(), bytes.size());
        freeText(s);
        s->data = text;
        s->capacity = static_cast<std::uint32_t>(capacity);
    } else {
        std::memmove(s->data + s->size, bytes.data(), bytes.size());
    }
    s->size = static_cast<std::uint32_t>(need);
    s->data[s->size] = '\0';
}

void releaseString(RuntimeString* s) {
    if (!s) return;
    assert(s->data && "runtime string released twice");
    freeText(s);
    unlinkLive(s);
    appendFree(s);
    --liveCount;
}

std::string takeString(RuntimeString* s) {
    std::string bytes(stringView(s));
    releaseString(s);
    return bytes;
}

std::int32_t liveStringCount() {
    return liveCount;
}

void resetStringPool() {
    for (RuntimeString* s = liveHead; s; s = s->next) freeText(s);
    liveHead = liveTail = nullptr;
    freeHead = freeTail = nullptr;
    for (Block* block = blocks; block; block = block->next)
        for (RuntimeString& s : block->strings) appendFree(&s);
    liveCount = 0;
}

void releaseAllStrings() {
    while (liveHead) releaseString(liveHead);
}

}  // namespace trelm
