// DeletionList: the item IDs whose records the cleaning pass drops.
//
// The list keeps the IDs in the order they were read, duplicates included, and is never sorted or
// emptied. contains() answers in constant time from a table with one byte for each of the 65,536
// possible item IDs, so the cost of a record does not grow with the length of the list. A byte
// rather than a bit per ID: the test is then a single load, and the pass tests every record.

#ifndef STATICS_CLEAN_DELETION_LIST_DELETION_LIST_H_
#define STATICS_CLEAN_DELETION_LIST_DELETION_LIST_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace statics_clean {

class DeletionList {
 public:
  void append(uint16_t itemId) {
    ids_.push_back(itemId);
    present_[itemId] = 1;
  }

  // True when any entry of the list equals itemId, compared on all 16 bits.
  bool contains(uint16_t itemId) const { return present_[itemId] != 0; }
  // 1 when itemId is on the list, else 0: the tests of several records can be combined with |
  // and decided by one branch.
  unsigned mark(uint16_t itemId) const { return present_[itemId]; }

  // The entries in the order they were appended.
  const std::vector<uint16_t>& ids() const { return ids_; }
  size_t size() const { return ids_.size(); }
  bool empty() const { return ids_.empty(); }

 private:
  std::vector<uint16_t> ids_;
  std::array<uint8_t, 65536> present_{};
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_DELETION_LIST_DELETION_LIST_H_
