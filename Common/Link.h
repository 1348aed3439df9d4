// An intrusive doubly linked list. Nodes carry their own `prev` and `next` pointers (derive them from
// LinkNode or declare the two fields); the list never allocates or frees a node: the caller makes nodes, and
// frees them after they leave the list. Walk from `head` along `next`. Nothing here locks.
#pragma once

#include "Common/Assert.h"

#include <cstdint>

namespace Zelto
{

template <typename Node> struct LinkNode
{
    Node* prev = nullptr;
    Node* next = nullptr;
};

template <typename Node> class Link
{
public:
    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    void InsertAfter(Node* position, Node* node); // null position: at the front; reports "node != _null"
    void Append(Node* node) { InsertAfter(tail, node); }
    uint32_t Length() const { return count; }
    void Clear(); // forgets the nodes; their owner frees them

    // Read freely; change only through the operations above.
    Node* head = nullptr;
    Node* tail = nullptr;
    uint32_t count = 0;
};

template <typename Node> void Link<Node>::InsertAfter(Node* position, Node* node)
{
    if (!ZELTO_CHECK(node != _null, "Common/Link", 173))
        return;
    node->prev = position;
    node->next = position != nullptr ? position->next : head;
    if (node->prev != nullptr)
        node->prev->next = node;
    else
        head = node;
    if (node->next != nullptr)
        node->next->prev = node;
    else
        tail = node;
    ++count;
}

template <typename Node> void Link<Node>::Clear()
{
    head = tail = nullptr;
    count = 0;
}

} // namespace Zelto
