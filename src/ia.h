// InfiniteArray: a growable array made of fixed blocks chained one behind the
// other. Every index is valid; indexing past the last block appends blocks.
// The user keeps the logical count.
#ifndef LCDUMP_IA_H
#define LCDUMP_IA_H

#include <cstdlib>
#include <new>

#include "diagnostics.h"

const unsigned int BLOCKSIZE = 10;

template <class T>
class InfiniteArray {
public:
    // Every element starts as its type's zero value (no text for String).
    InfiniteArray() : maxindex(0), data(), next(nullptr) {}

    // Releases the chain one block at a time: recursing once per block would
    // overflow the stack on very long lists.
    ~InfiniteArray() { releaseChain(); }

    InfiniteArray(const InfiniteArray&) = delete;
    InfiniteArray& operator=(const InfiniteArray&) = delete;

    // Reading an element grows the chain exactly as writing does.
    T& operator[](unsigned int index)
    {
        InfiniteArray* block = this;
        while (index >= BLOCKSIZE) {
            if (block->next == nullptr) {
                // malloc, not new (std::nothrow), for the reason given with
                // String's buffers: no exception may be needed to report.
                void* memory = std::malloc(sizeof(InfiniteArray));
                if (memory == nullptr)
                    exit_out_of_memory();
                block->next = new (memory) InfiniteArray();
            }
            block = block->next;
            index -= BLOCKSIZE;
        }
        return block->data[index];
    }

    // Back to a single block of zero values.
    void reset()
    {
        releaseChain();
        for (T& element : data)
            element = T();
    }

private:
    void releaseChain()
    {
        InfiniteArray* block = next;
        next = nullptr;
        while (block != nullptr) {
            InfiniteArray* following = block->next;
            block->next = nullptr;
            block->~InfiniteArray();
            std::free(block);
            block = following;
        }
    }

    int maxindex;
    T data[BLOCKSIZE];
    InfiniteArray* next;
};

typedef InfiniteArray<int> IAint;
typedef InfiniteArray<float> IAfloat;
typedef InfiniteArray<double> IAdouble;

#endif
