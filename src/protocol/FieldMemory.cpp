// Per-thread pools of small blocks and kept text buffers; plain heap memory under sanitizers.
#include "protocol/FieldMemory.h"

#include <memory>
#include <new>

namespace tarvo {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TARVO_FIELD_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define TARVO_FIELD_POOL 0
#endif
#endif
#ifndef TARVO_FIELD_POOL
#define TARVO_FIELD_POOL 1
#endif

// Free blocks of field memory by size class (16, 32, ... 256 bytes), at most POOL_DEPTH each.
constexpr size_t POOL_GRAIN = 16;
constexpr size_t POOL_CLASSES = 16;
constexpr unsigned POOL_DEPTH = 256;

struct FreeBlock
{
    FreeBlock *next;
};

// Plain data, so that the thread reaches it without an initialisation check; the blocks it
// holds are freed by a cleaner registered when the first block is kept.
struct FieldPool
{
    FreeBlock *heads[POOL_CLASSES];
    unsigned counts[POOL_CLASSES];
    bool registered;
    // Set once the thread's cleaner has run: objects dropped after that (by the destructors
    // of statics) go straight back to the heap.
    bool closed;
};

thread_local FieldPool t_pool{};

// Kept text buffers: the values of a status answer's long fields (host time, packages).
// Slot i holds a text while bit i of `used` is set.
constexpr unsigned TEXT_SLOTS = 4;
constexpr size_t TEXT_KEEP_MAX = size_t(1) << 20;

struct TextPool
{
    alignas(std::string) unsigned char slots[TEXT_SLOTS][sizeof(std::string)];
    unsigned used;

    std::string *slot(unsigned i) { return std::launder(reinterpret_cast<std::string *>(slots[i])); }
};

thread_local TextPool t_texts{};

struct PoolCleaner
{
    ~PoolCleaner()
    {
        t_pool.closed = true;
        for (unsigned i = 0; i < TEXT_SLOTS; ++i)
            if (t_texts.used & (1u << i))
                std::destroy_at(t_texts.slot(i));
        t_texts.used = 0;
        for (FreeBlock *&head : t_pool.heads) {
            while (head) {
                FreeBlock *next = head->next;
                ::operator delete(head);
                head = next;
            }
        }
    }
};

void registerCleaner()
{
    thread_local PoolCleaner cleaner;
    (void)cleaner;
    t_pool.registered = true;
}

size_t poolClassOf(std::size_t size) { return (size + POOL_GRAIN - 1) / POOL_GRAIN - 1; }

} // namespace

void *allocateSmall(std::size_t size)
{
    const size_t c = poolClassOf(size);
    if (TARVO_FIELD_POOL && size != 0 && c < POOL_CLASSES && !t_pool.closed) {
        FieldPool &pool = t_pool;
        if (FreeBlock *block = pool.heads[c]) {
            pool.heads[c] = block->next;
            --pool.counts[c];
            return block;
        }
        return ::operator new((c + 1) * POOL_GRAIN);
    }
    return ::operator new(size);
}

void releaseSmall(void *p, std::size_t size) noexcept
{
    if (!p)
        return;
    const size_t c = poolClassOf(size);
    if (TARVO_FIELD_POOL && size != 0 && c < POOL_CLASSES && !t_pool.closed) {
        FieldPool &pool = t_pool;
        if (!pool.registered)
            registerCleaner();
        if (pool.counts[c] < POOL_DEPTH) {
            pool.heads[c] = new (p) FreeBlock{pool.heads[c]};
            ++pool.counts[c];
            return;
        }
    }
    ::operator delete(p);
}

void keepText(std::string &text) noexcept
{
    TextPool &texts = t_texts;
    constexpr unsigned ALL = (1u << TEXT_SLOTS) - 1;
    if (!TARVO_FIELD_POOL || texts.used == ALL || t_pool.closed || text.capacity() > TEXT_KEEP_MAX)
        return;
    if (!t_pool.registered)
        registerCleaner();
    const unsigned i = unsigned(__builtin_ctz(~texts.used));
    new (texts.slots[i]) std::string(std::move(text));
    texts.used |= 1u << i;
}

void reuseText(std::string &to, std::size_t n) noexcept
{
    TextPool &texts = t_texts;
    if (!TARVO_FIELD_POOL || texts.used == 0 || to.capacity() > SHORT_TEXT_CAPACITY)
        return;
    // The smallest buffer that holds n bytes, else the largest, which then grows.
    unsigned best = TEXT_SLOTS;
    size_t bestCapacity = 0;
    for (unsigned left = texts.used; left != 0; left &= left - 1) {
        const unsigned i = unsigned(__builtin_ctz(left));
        const size_t c = texts.slot(i)->capacity();
        if (best == TEXT_SLOTS || (bestCapacity >= n ? c >= n && c < bestCapacity : c > bestCapacity)) {
            best = i;
            bestCapacity = c;
        }
    }
    std::string *taken = texts.slot(best);
    to = std::move(*taken);
    std::destroy_at(taken);
    texts.used &= ~(1u << best);
}

} // namespace tarvo
