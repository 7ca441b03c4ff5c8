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
  [[nodiscard]] virtual int open() = 0;  // 0 or a host status
  virtual int pageLength() const = 0;
  virtual void* newPageBuffer() = 0;  // null when refused
  [[nodiscard]] virtual int readPage(PageDescriptor* block) = 0;
  [[nodiscard]] virtual int writePage(const PageDescriptor* block) = 0;
  virtual void releasePageBuffer(PageDescriptor* block) = 0;
  [[nodiscard]] virtual int commit(int closing) = 0;  // 0 before reopening, 1 when closing
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
  [[nodiscard]] virtual int seek(int64_t position) = 0;
  [[nodiscard]] virtual int write(const void* data, int64_t length) = 0;
  [[nodiscard]] virtual int read(void* data, int64_t length) = 0;
  virtual void release() = 0;
};

class HxStreamX : public HostExtension {
 public:
  virtual ScratchFileObject* open(std::string_view path, std::string_view description,
                                  uint32_t* status) = 0;
  [[nodiscard]] virtual int deleteByPath(std::string_view path) = 0;
};

class HxTools : public HostExtension {
 public:
  // Resolves a host path name ("UTILPATH"); 0 or a host status.
  [[nodiscard]] virtual int getPathnameDirect(std::string_view name, std::string* path) = 0;
};

// The work queue of hxworkq: items are run by the queue's workers with the routine given at
// creation.
using WorkRoutine = void (*)(void* queueContext, void* item);

class WorkQueue {
 public:
  virtual ~WorkQueue() = default;
  [[nodiscard]] virtual int enqueue(void* item) = 0;               // 0 on success
  [[nodiscard]] virtual int signalWhenDone(HostEvent* event) = 0;  // 0 on success
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

// The optimizer of hxsolve: minimises a smooth loss plus a penalty, calling back into the
// procedure for the loss, its gradient, lambda-max and (group penalty) the proximal step. The
// records are plain; the extension stays usable after its release operation.
struct SolverObject;

// What the procedure reads and writes of a solver's state.
struct SolverState {
  int64_t dimension = 0;
  int32_t relativePenalty = 0;  // the penalty is a ratio of lambdaMax
  double stepConstant = 1;      // the proximal step divides the threshold by it
  void* userData = nullptr;     // the callbacks' record
  double* work = nullptr;       // dimension values each
  double* gradient = nullptr;
  double lambdaMax = 0;  // 0 until computed
  double penalty = 0;
};

// The procedure's routines; each returns 0 or a status that ends the solve.
struct SolverCallbacks {
  int (*lambdaMax)(SolverObject* s) = nullptr;
  int (*objective)(SolverObject* s, const double* x, double* f) = nullptr;
  int (*objectiveGradient)(SolverObject* s, const double* x, double* g, double* f) = nullptr;
  int (*penalty)(SolverObject* s, const double* x, double* penalty) = nullptr;
  int (*proximal)(SolverObject* s, const double* x, double* y, double* penalty,
                  uint32_t* nonzeroGroups, double* norm) = nullptr;
};

// Solver options.
namespace solveropt {
constexpr int kPlainPenalty = 1;  // the L1 norm, soft-thresholded by the solver
constexpr int kGroupPenalty = 4;  // the callbacks' penalty and proximal step
}  // namespace solveropt

// The methods, in the order of the procedure's calls; statuses are 0 on success.
struct SolverMethods {
  void (*setUserData)(SolverObject* s, void* data);
  void (*destroy)(SolverObject** s);
  int (*setDimension)(SolverObject* s, int64_t dimension);
  int (*setPenalty)(SolverObject* s, double penalty);
  int (*setOption)(SolverObject* s, int option);
  int (*accept)(SolverObject* s);
  int (*setTolerance)(SolverObject* s, double tolerance);
  void (*setStart)(SolverObject* s, const double* start);  // null: zero
  int (*prepare)(SolverObject* s);
  int (*solve)(SolverObject* s);
  void (*finish)(SolverObject* s);
  void (*solution)(SolverObject* s, double* out);
  void (*lambdaMax)(SolverObject* s, double* out);
  void (*loss)(SolverObject* s, double* out);  // half the SSE at the solution
};

struct SolverObject {
  SolverState* state = nullptr;
  const SolverMethods* methods = nullptr;
  SolverCallbacks* callbacks = nullptr;
};

class HxSolve : public HostExtension {
 public:
  // A new solver; null when refused.
  virtual SolverObject* create() = 0;
};

}  // namespace vsf
