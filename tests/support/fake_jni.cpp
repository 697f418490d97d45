#include "fake_jni.h"

#include <cstring>
#include <stdexcept>

FakeJni::FakeJni() {
  table_.GetArrayLength = &FakeJni::length;
  table_.GetShortArrayElements = [](JNIEnv* e, jshortArray a, jboolean*) {
    return get<jshort>(e, a, kShort);
  };
  table_.GetFloatArrayElements = [](JNIEnv* e, jfloatArray a, jboolean*) {
    return get<jfloat>(e, a, kFloat);
  };
  table_.GetDoubleArrayElements = [](JNIEnv* e, jdoubleArray a, jboolean*) {
    return get<jdouble>(e, a, kDouble);
  };
  table_.ReleaseShortArrayElements = [](JNIEnv* e, jshortArray a, jshort* p, jint m) {
    release<jshort>(e, a, p, m, kShort);
  };
  table_.ReleaseFloatArrayElements = [](JNIEnv* e, jfloatArray a, jfloat* p, jint m) {
    release<jfloat>(e, a, p, m, kFloat);
  };
  table_.ReleaseDoubleArrayElements = [](JNIEnv* e, jdoubleArray a, jdouble* p, jint m) {
    release<jdouble>(e, a, p, m, kDouble);
  };
  holder_.env.functions = &table_;
  holder_.self = this;
}

FakeJni::~FakeJni() {
  // Elements never released would be a leak in the library; free them so that the
  // sanitizers report only the library's own faults.
  for (auto& [elems, array] : live_) {
    switch (array->kind) {
      case kShort:
        delete[] static_cast<jshort*>(elems);
        break;
      case kFloat:
        delete[] static_cast<jfloat*>(elems);
        break;
      case kDouble:
        delete[] static_cast<jdouble*>(elems);
        break;
    }
  }
}

_jobject* FakeJni::wrap(Kind kind, void* vec) {
  arrays_.push_back({kind, vec});
  return reinterpret_cast<_jobject*>(&arrays_.back());
}

jsize FakeJni::length(JNIEnv*, jarray array) {
  const Array* a = reinterpret_cast<const Array*>(array);
  switch (a->kind) {
    case kShort:
      return static_cast<jsize>(static_cast<std::vector<jshort>*>(a->vec)->size());
    case kFloat:
      return static_cast<jsize>(static_cast<std::vector<jfloat>*>(a->vec)->size());
    case kDouble:
      return static_cast<jsize>(static_cast<std::vector<jdouble>*>(a->vec)->size());
  }
  return 0;
}

template <typename T>
T* FakeJni::get(JNIEnv* env, jarray array, Kind kind) {
  FakeJni* me = self(env);
  me->gets_++;
  if (me->failElements) return nullptr;
  Array* a = reinterpret_cast<Array*>(array);
  if (a->kind != kind) throw std::logic_error("array fetched as the wrong element type");
  auto* vec = static_cast<std::vector<T>*>(a->vec);
  T* copy = new T[vec->size()];  // exact size: an overrun is a heap overflow
  if (!vec->empty()) std::memcpy(copy, vec->data(), vec->size() * sizeof(T));
  me->live_[copy] = a;
  return copy;
}

template <typename T>
void FakeJni::release(JNIEnv* env, jarray array, T* elems, jint mode, Kind kind) {
  FakeJni* me = self(env);
  auto it = me->live_.find(elems);
  if (it == me->live_.end() || it->second != reinterpret_cast<Array*>(array) || it->second->kind != kind)
    throw std::logic_error("release of elements that were not obtained from this array");
  auto* vec = static_cast<std::vector<T>*>(it->second->vec);
  if (mode != JNI_ABORT && !vec->empty()) std::memcpy(vec->data(), elems, vec->size() * sizeof(T));
  if (mode != JNI_COMMIT) {
    me->live_.erase(it);
    delete[] elems;
  }
}
