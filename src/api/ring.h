// CTRing: a circular, doubly linked list with a movable head, keyed by a signed
// 32-bit ID. A search moves the head: a hit leaves the found element at the
// head (so the next lookup of the same key is immediate), a miss leaves the old
// tail there. The ring owns its nodes; it does not own what they point to.
//
// Not thread-safe: the owner serialises every call (lookups write the head).
#pragma once

#include <cstdint>
#include <new>

namespace kt {

// T must have the fields `int32_t instance_id`, `T* previous` and `T* next`,
// and be copyable.
template <typename T>
class CTRing {
 public:
  CTRing() = default;
  virtual ~CTRing() { Clear(); }
  CTRing(const CTRing&) = delete;
  CTRing& operator=(const CTRing&) = delete;

  // Copies `element` into a new node in front of the head and makes it the
  // head. False when the node cannot be allocated (the ring is unchanged).
  virtual bool Add(T element) {
    T* node = new (std::nothrow) T(element);
    if (node == nullptr) return false;
    if (head_ == nullptr) {
      node->previous = node;
      node->next = node;
    } else {
      node->previous = head_->previous;
      node->next = head_;
      head_->previous->next = node;
      head_->previous = node;
    }
    head_ = node;
    ++count_;
    return true;
  }

  // Walks forward from the head at most once round; see the class comment.
  // When several elements share a key the first reached from the head wins; an
  // element that carries the starting tail's key also ends a fruitless search.
  bool Find(int32_t key) {
    if (head_ == nullptr) return false;
    const int32_t tail_key = head_->previous->instance_id;
    for (;;) {
      if (head_->instance_id == key) return true;
      if (head_->instance_id == tail_key) return false;
      head_ = head_->next;
    }
  }

  // The head element after a successful Find, or nullptr.
  T* Lookup(int32_t key) { return Find(key) ? head_ : nullptr; }

  // True when some element carries `key`; leaves the head where it is.
  bool Contains(int32_t key) const {
    const T* node = head_;
    for (uint32_t i = 0; i < count_; ++i, node = node->next) {
      if (node->instance_id == key) return true;
    }
    return false;
  }

  // Unlinks and frees the head element; its next element becomes the head.
  int RemoveHead() {
    if (head_ == nullptr) return 0;
    T* old = head_;
    if (old->next == old) {
      head_ = nullptr;
      count_ = 0;
    } else {
      --count_;
      old->previous->next = old->next;
      old->next->previous = old->previous;
      head_ = old->next;
    }
    delete old;
    return 1;
  }

  // Find, then remove the head: 1 when an element was removed.
  int Unregister(int32_t key) { return Find(key) ? RemoveHead() : 0; }

  void Clear() {
    while (RemoveHead() != 0) {
    }
  }

  T* head() const { return head_; }
  uint32_t count() const { return count_; }

 private:
  T* head_ = nullptr;
  uint32_t count_ = 0;
};

}  // namespace kt
