// COM initialisation and object creation, as the layers above expect them.
//
// CoInitialize/CoUninitialize keep a per-thread count that tests read to prove
// the pairs balance. Objects are created by ProgID through one factory; a test
// can make the creation of a ProgID fail for its own duration, which is the
// only way to reach the "cannot be created" paths. Like the real thing,
// creation fails on a thread that has not initialised COM.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace ck::platform {

inline constexpr long S_OK = 0;
inline constexpr long S_FALSE = 1;

long CoInitialize(void* reserved = nullptr);  // S_OK first time on a thread, S_FALSE after
void CoUninitialize();
int com_init_depth();  // this thread's CoInitialize count minus CoUninitialize count

// Pairs one CoInitialize with one CoUninitialize.
class ComScope {
 public:
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// Base of every object the factory hands out; counts the live ones.
class ComObject {
 public:
  ComObject();
  virtual ~ComObject();
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  static int live_count();
};

// Test seam: while alive, creating `prog_id` (compared ignoring ASCII case)
// fails. Scopes nest.
class ScopedCreationFailure {
 public:
  explicit ScopedCreationFailure(std::string prog_id);
  ~ScopedCreationFailure();
  ScopedCreationFailure(const ScopedCreationFailure&) = delete;
  ScopedCreationFailure& operator=(const ScopedCreationFailure&) = delete;

 private:
  std::string prog_id_;
};

bool creation_allowed(std::string_view prog_id);

// Create an object of class T (which names its ProgID as T::kProgId).
// A shared_ptr is the object's reference count: copying it is AddRef.
template <class T>
std::shared_ptr<T> create_object() {
  if (!creation_allowed(T::kProgId)) return nullptr;
  return std::make_shared<T>();
}

}  // namespace ck::platform
