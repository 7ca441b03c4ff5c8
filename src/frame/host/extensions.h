// Host extensions loaded by name through the kernel: page files, scratch files, path lookup,
// the work queue. Each extension and object is released through its own release operation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vsf {

struct HostEvent;
struct VarDescriptor;

class HostExtension {
 public:
  virtual ~HostExtension() = default;
  virtual std::string_view name() const = 0;
  virtual void release() = 0;
};

// The block descriptor of a page file: the page number (from 1) and the page's buffer.
struct PageDescriptor {
  int64_t page = 0;
  void* buffer = nullptr;
};

// A page file (hxstream object).
class PageStream {
 public:
  virtual ~PageStream() = default;
  virtual void setPath(std::string_view directory) = 0;
  virtual void fillDefaults() = 0;
  // Page sizes offered: default, a larger one, the largest.
  virtual int defaultPageSize() const = 0;
  virtual int largerPageSize() const = 0;
  virtual int largestPageSize() const = 0;
  virtual void setAttributes(int pageSize, int companionSize) = 0;
  // Open fields set before (re)opening: mode (1 read back), access pattern (4 sequential,
  // 2 random), write-back (2 when pages are rewritten).
  virtual void setOpenFields(int mode, int accessPattern, int writeBack) = 0;
  virtual int open() = 0;  // 0 or a host status
  virtual int pageLength() const = 0;
  virtual void* newPageBuffer() = 0;  // null when refused
  virtual int readPage(PageDescriptor* block) = 0;
  virtual int writePage(const PageDescriptor* block) = 0;
  virtual void releasePageBuffer(PageDescriptor* block) = 0;
  virtual int commit(int closing) = 0;  // 0 before reopening, 1 when closing
  virtual void discard(int argument) = 0;
  virtual void release() = 0;  // closes and deletes the file
};

class HxStream : public HostExtension {
 public:
  virtual PageStream* createStream() = 0;  // null when refused
};

// A scratch file of the hxstreamx extension: positioned byte I/O.
class ScratchFileObject {
 public:
  virtual ~ScratchFileObject() = default;
  virtual int seek(int64_t position) = 0;
  virtual int write(const void* data, int64_t length) = 0;
  virtual int read(void* data, int64_t length) = 0;
  virtual void release() = 0;
};

class HxStreamX : public HostExtension {
 public:
  virtual ScratchFileObject* open(std::string_view path, std::string_view description,
                                  uint32_t* status) = 0;
  virtual int deleteByPath(std::string_view path) = 0;
};

class HxTools : public HostExtension {
 public:
  // Resolves a host path name ("UTILPATH"); 0 or a host status.
  virtual int getPathnameDirect(std::string_view name, std::string* path) = 0;
};

// The work queue of hxworkq: items are run by the queue's workers with the routine given at
// creation.
using WorkRoutine = void (*)(void* queueContext, void* item);

class WorkQueue {
 public:
  virtual ~WorkQueue() = default;
  virtual int enqueue(void* item) = 0;               // 0 on success
  virtual int signalWhenDone(HostEvent* event) = 0;  // 0 on success
  virtual void reset() = 0;
  virtual void shutdown() = 0;
  virtual void destroy() = 0;
};

class HxWorkQ : public HostExtension {
 public:
  virtual WorkQueue* create(int workers, WorkRoutine routine, void* context, uint32_t flags) = 0;
};

// Search trees (hxbtree) of nodes the caller owns, each holding its key at a fixed offset. The
// comparator takes two nodes, the key's length in bytes and its offset, and returns -1, 0 or 1
// (zidxcmp and the levelization's znamecmp are such comparators).
using NodeCompare = int (*)(const void* a, const void* b, int keyBytes, int keyOffset);

class SearchTree {
 public:
  virtual ~SearchTree() = default;
  // Insert or find: the node already holding an equal key, or the node itself when its key is
  // new, which the tree then keeps (a rejected node is the caller's to reuse).
  virtual void* insert(void* node) = 0;
  // The node holding the probe's key (the probe is node-shaped), or null.
  virtual void* find(const void* probe) const = 0;
  virtual int64_t size() const = 0;
  // Visits the nodes in key order until visit returns nonzero; that result, or 0.
  virtual int walk(int (*visit)(void* node, void* context), void* context) const = 0;
  // The storage operation: the tree lets go of every node and of its own storage.
  virtual void clear() = 0;
  virtual void release() = 0;
};

class HxBtree : public HostExtension {
 public:
  virtual SearchTree* createTree(int keyBytes, int keyOffset, NodeCompare compare) = 0;
};

// Value formatting (hxformat): a format handle writes one variable's values as text.
class ValueFormat {
 public:
  virtual ~ValueFormat() = default;
  // Writes the text of a value (number for a numeric variable, text for a character one)
  // into out, blank-padded to width bytes; returns the length of the text.
  virtual int format(double number, std::string_view text, char* out, int width) = 0;
  virtual void release() = 0;
};

// A formatter of hxformat: finds the format handles of variables.
class ValueFormatter {
 public:
  virtual ~ValueFormatter() = default;
  virtual void setLocale(int64_t encoding) = 0;
  // The handle of the variable's format of the given kind ('F' output format); null when the
  // variable has no usable format.
  virtual ValueFormat* find(const VarDescriptor& var, char kind) = 0;
  virtual void release() = 0;
};

class HxFormat : public HostExtension {
 public:
  virtual ValueFormatter* createFormatter() = 0;  // null when refused
};

}  // namespace vsf
