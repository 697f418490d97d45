// A small stand-in for the JVM's JNIEnv, enough to drive the library's native methods
// without a JVM: arrays are std::vectors owned by the test, elements are handed out as exact
// heap copies (so AddressSanitizer catches any access past an array's length) and copied back
// on release according to the mode, as a copying JVM does.
#pragma once

#include <jni.h>

#include <deque>
#include <map>
#include <type_traits>
#include <vector>

class FakeJni {
 public:
  FakeJni();
  ~FakeJni();
  FakeJni(const FakeJni&) = delete;
  FakeJni& operator=(const FakeJni&) = delete;

  JNIEnv* env() { return &holder_.env; }

  // Handles that refer to the caller's vectors; the vectors must outlive their use.
  jshortArray shorts(std::vector<jshort>& data) { return reinterpret_cast<jshortArray>(wrap(kShort, &data)); }
  jfloatArray floats(std::vector<jfloat>& data) { return reinterpret_cast<jfloatArray>(wrap(kFloat, &data)); }
  jdoubleArray doubles(std::vector<jdouble>& data) {
    return reinterpret_cast<jdoubleArray>(wrap(kDouble, &data));
  }

  // When set, Get<Type>ArrayElements returns null, as a JVM does when it has thrown.
  bool failElements = false;

  int elementGets() const { return gets_; }
  // Elements obtained and not yet released.
  int outstanding() const { return static_cast<int>(live_.size()); }

 private:
  enum Kind { kShort, kFloat, kDouble };
  struct Array {
    Kind kind;
    void* vec;
  };
  struct Holder {
    JNIEnv env;
    FakeJni* self;
  };

  _jobject* wrap(Kind kind, void* vec);
  static FakeJni* self(JNIEnv* env) { return reinterpret_cast<Holder*>(env)->self; }

  template <typename T>
  static T* get(JNIEnv* env, jarray array, Kind kind);
  template <typename T>
  static void release(JNIEnv* env, jarray array, T* elems, jint mode, Kind kind);
  static jsize length(JNIEnv* env, jarray array);

  // The function table's type, named through JNIEnv: the JDK's jni.h calls it
  // JNINativeInterface_, the Android NDK's JNINativeInterface.
  using FunctionTable = std::remove_const_t<std::remove_pointer_t<decltype(JNIEnv::functions)>>;

  FunctionTable table_{};
  Holder holder_{};
  std::deque<Array> arrays_;
  std::map<void*, Array*> live_;
  int gets_ = 0;
};
