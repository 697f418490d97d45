// The engine's output, fixed to the bit: long sessions through the JNI methods, every output
// sample, every block's peak and the 72 band levels after every block folded into one 64-bit
// digest per session and compared with the digest the engine has always given.
//
// These sessions are the guard for speed work, refactoring and new targets: a change anywhere
// in the arithmetic (an operation reordered, a fused multiply-add, a vector path that rounds
// differently, another libm) shows up here. Every session runs on each code path this machine
// offers (the portable one and each vector instruction set the CPU supports), and each must
// give the same digest. The input is generated with IEEE-exact arithmetic
// only, so the digests hold on every target. Each session first brings every piece of
// process-wide state that outlives a set-up to a known value, so the sessions do not depend on
// the order in which tests run.
//
// The check is a program of its own, without a test framework, so that it can be built for any
// target and run there: on a phone over adb, where the C library's sin, cos and atan2 are
// another implementation than on the build machine. `digest_test [NAME...]` runs the sessions
// whose names contain one of the NAMEs (every session without), prints a line per session and
// exits with status 1 when any digest differs, 2 when no session matches.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "eq.h"
#include "fake_jni.h"
#include "simd.h"
#include "spectrum.h"
#include "support/engine.h"
#include "support/music.h"

namespace {

struct Digest {
  uint64_t h = 1469598103934665603ull;  // FNV-1a, 64 bits
  void byte(uint8_t b) {
    h ^= b;
    h *= 1099511628211ull;
  }
  void u16(uint16_t v) {
    byte((uint8_t)v);
    byte((uint8_t)(v >> 8));
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; i++) byte((uint8_t)(v >> (8 * i)));
  }
  // Every NaN counts as the one quiet NaN: IEEE 754 leaves a generated NaN's sign and payload
  // open, and x86 and AArch64 differ there (as does the operand order a compiler picks when
  // both are NaN). Java sees the same through Float.floatToIntBits.
  void f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u32(std::isnan(v) ? 0x7fc00000u : bits);
  }
  std::string hex() const {
    char s[17];
    std::snprintf(s, sizeof s, "%016" PRIx64, h);
    return s;
  }
};

struct Session {
  Session(int frame_, int over_, int rate_, int channels_, double seconds_, std::vector<int> blocks_,
          std::vector<double> speeds_)
      : frame(frame_),
        over(over_),
        rate(rate_),
        channels(channels_),
        seconds(seconds_),
        blocks(std::move(blocks_)),
        speeds(std::move(speeds_)) {}
  int frame, over, rate, channels;
  double seconds;
  std::vector<int> blocks;     // input frames per block, cycled
  std::vector<double> speeds;  // one per block, cycled
  bool spectrum = true;
  bool stereoLink = false;
  std::function<void(FakeJni&)> setUp;                // mixer, equaliser, filter
  std::function<void(FakeJni&, int block)> perBlock;  // settings changed while playing
};

// Everything that survives dspInit goes back to a known state: the block buffers' contents,
// the analyser's running sample count and the equaliser's gains.
void normalise() {
  const DspBuffers b = dsp_buffers();
  if (b.inLeft != nullptr) {
    std::memset(b.inLeft, 0, sizeof(float) * (size_t)b.inCapacity);
    std::memset(b.inRight, 0, sizeof(float) * (size_t)b.inCapacity);
    std::memset(b.outLeft, 0, sizeof(float) * (size_t)b.outCapacity);
    std::memset(b.outRight, 0, sizeof(float) * (size_t)b.outCapacity);
  }
  spectrum_enabled = 1;
  spectrum_init(44100, 1);
  // Each analysis takes exactly one interval off the count (a count left by another rate may
  // exceed it); top it up to whole intervals until nothing is pending.
  std::vector<float> zeros((size_t)spectrum_analysis_interval(), 0.0f);
  while (spectrum_pending_samples() > 0) {
    const int missing = spectrum_analysis_interval() - spectrum_pending_samples();
    spectrum_push(zeros.data(), missing > 0 ? missing : 0, 0);
  }
  eq_init(7);  // a count no frame gives: the next set-up starts fresh gains of 1.0
  eq_enable(0);
}

std::string run(const Session& s) {
  normalise();
  FakeJni jni;
  JNIEnv* env = jni.env();
  Java_velmora_chordsmith_NativeInterface_dspSetPreamp(env, nullptr, 1.0f);
  Java_velmora_chordsmith_NativeInterface_dspPanning(env, nullptr, 0, 0, 50);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(env, nullptr, 0);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(env, nullptr, 0.0f);
  Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(env, nullptr, s.spectrum ? 1 : 0);
  Java_velmora_chordsmith_NativeInterface_dspStereoLink(env, nullptr, s.stereoLink ? 1 : 0);
  Java_velmora_chordsmith_NativeInterface_dspInit(env, nullptr, s.frame, s.over, s.rate, s.channels);
  if (s.setUp) s.setUp(jni);

  const long frames = (long)(s.seconds * s.rate);
  const std::vector<jshort> song = music::song(frames, s.channels, s.rate);
  Digest d;
  std::vector<float> bands(72);
  long pos = 0;
  for (int b = 0; pos < frames; b++) {
    if (s.perBlock) s.perBlock(jni, b);
    int in = s.blocks[b % s.blocks.size()];
    if (in > frames - pos) in = (int)(frames - pos);
    const int out = (int)std::nearbyint(in / s.speeds[b % s.speeds.size()]);
    std::vector<jshort> block((size_t)(in > out ? in : out) * s.channels, 0);
    std::memcpy(block.data(), song.data() + pos * s.channels, sizeof(jshort) * (size_t)in * s.channels);
    Java_velmora_chordsmith_NativeInterface_dspProcess(env, nullptr, jni.shorts(block), in, out, 0.0f);
    for (int i = 0; i < out * s.channels; i++) d.u16((uint16_t)block[(size_t)i]);
    d.f32(Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(env, nullptr));
    Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(env, nullptr, jni.floats(bands), 72);
    for (float v : bands) d.f32(v);
    pos += in;
  }
  return d.hex();
}

// A band-pass over the vocal range, as an application might design it (4th order).
void loadVoiceFilter(FakeJni& jni) {
  std::vector<double> a = {1.0, -2.9171, 3.2312, -1.6321, 0.3183};
  std::vector<double> b = {0.2045, 0.0, -0.4090, 0.0, 0.2045};
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(jni.env(), nullptr, jni.doubles(a),
                                                                jni.doubles(b), 5, 5);
}

// A smooth curve with a notch and a boost, one gain per bin.
void loadEqCurve(FakeJni& jni, int bins) {
  std::vector<float> g((size_t)bins);
  for (int i = 0; i < bins; i++) g[(size_t)i] = 0.2f + 1.0f * (float)(i % 37) / 36.0f;
  if (bins > 10) g[10] = 0.0f;
  Java_velmora_chordsmith_NativeInterface_dspEQSetBands(jni.env(), nullptr, jni.floats(g));
  Java_velmora_chordsmith_NativeInterface_dspEQEnable(jni.env(), nullptr, 1);
}

void everyFeature(FakeJni& jni, int frame) {
  loadVoiceFilter(jni);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(jni.env(), nullptr, 1);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(jni.env(), nullptr, 0.8f);
  loadEqCurve(jni, frame / 2);
  Java_velmora_chordsmith_NativeInterface_dspSetPreamp(jni.env(), nullptr, 0.9f);
}

// ThreadSanitizer slows these single-threaded sessions tenfold and has nothing to find in them:
// there they run on the fastest path only.
#if defined(__SANITIZE_THREAD__)
constexpr bool kEveryPath = false;
#else
constexpr bool kEveryPath = true;
#endif

// A session's digest and the value the engine has always given.
struct Check {
  const char* name;
  const char* expected;
  std::function<std::string()> digest;
};

std::string everyFeatureSession(Session s) {
  const int frame = s.frame;
  s.setUp = [frame](FakeJni& jni) { everyFeature(jni, frame); };
  return run(s);
}

Session linked(Session s) {
  s.stereoLink = true;
  return s;
}

const std::vector<Check>& checks() {
  static const std::vector<Check> all = {
      {"StereoEveryFeatureAtTheUsualGeometry", "88b8742d67a06478",
       [] {
         return everyFeatureSession(
             {2048, 4, 44100, 2, 20.0, {2048}, {0.8, 0.8, 0.8, 0.8, 0.5, 0.5, 1.25, 1.25, 0.75}});
       }},
      {"MonoEveryFeatureAtTheUsualGeometry", "ab91ded8cbb48907",
       [] {
         return everyFeatureSession({2048, 4, 44100, 1, 12.0, {2048}, {0.8, 0.8, 0.6, 1.5, 1.0}});
       }},
      {"StereoMixerChangesWhilePlaying", "b64c88f629fbc158",
       [] {
         Session s{1024, 8, 48000, 2, 8.0, {1024, 512, 2048}, {0.7, 0.7, 0.9}};
         s.setUp = [](FakeJni& jni) { loadVoiceFilter(jni); };
         s.perBlock = [](FakeJni& jni, int b) {
           JNIEnv* env = jni.env();
           Java_velmora_chordsmith_NativeInterface_dspPanning(env, nullptr, (b / 20) % 3 != 0,
                                                              (b / 20) % 3 == 2, 30 + b % 40);
           Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(env, nullptr, (b / 15) % 2);
           Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(env, nullptr,
                                                                         0.5f + 0.05f * (float)(b % 10));
           Java_velmora_chordsmith_NativeInterface_dspEQEnable(env, nullptr, (b / 25) % 2);
           Java_velmora_chordsmith_NativeInterface_dspSetPreamp(env, nullptr, 0.5f + 0.1f * (float)(b % 20));
         };
         return run(s);
       }},
      {"LargestFrameSlowSpeeds", "1231cc0ddaf42e33",
       [] {
         return everyFeatureSession({4096, 8, 44100, 2, 8.0, {4096}, {0.25, 0.25, 0.4, 0.5}});
       }},
      {"BlocksThatAreNoMultipleOfTheHop", "df837c9d18c818c7",
       [] {
         Session s{512, 3, 22050, 2, 6.0, {1000, 333, 2048, 77}, {0.9, 1.1, 2.0, 0.66}};
         s.setUp = [](FakeJni& jni) { loadEqCurve(jni, 256); };
         return run(s);
       }},
      {"SmallFramesAndFastSpeeds", "84b7af173d72312c",
       [] {
         return run({256, 2, 16000, 1, 5.0, {256, 1024}, {1.0, 3.0, 4.0, 1.7}});
       }},
      {"TinyFramesDownToOneSample",
       "79bda244fedeec23 71a94f50cc872a49 f9769aaddd37da00 4113e39e388782b1 0eab02da989ef00c ",
       [] {
         std::string all;
         for (int frame : {1, 2, 4, 16, 64}) {
           Session s{frame, frame >= 4 ? 4 : 1, 8000, 2, 0.5, {frame * 8 + 3}, {0.8, 1.0}};
           all += run(s) + " ";
         }
         return all;
       }},
      {"HighRateWithoutAnalyser", "24791fd985e69ab4",
       [] {
         Session s{2048, 4, 96000, 2, 6.0, {4096}, {0.8, 1.3}};
         s.spectrum = false;
         s.setUp = [](FakeJni& jni) { everyFeature(jni, 2048); };
         return run(s);
       }},
      {"ExtremeGainsOverflowAndRecover", "7e6efa747e1264a2",
       [] {
         Session s{1024, 4, 44100, 2, 6.0, {1024}, {0.8}};
         s.setUp = [](FakeJni& jni) {
           std::vector<float> g(512, 1.0f);
           g[20] = 1e30f;
           g[21] = INFINITY;
           g[22] = -3.0f;
           g[23] = NAN;
           Java_velmora_chordsmith_NativeInterface_dspEQSetBands(jni.env(), nullptr, jni.floats(g));
         };
         s.perBlock = [](FakeJni& jni, int b) {  // the wild gains come and go
           Java_velmora_chordsmith_NativeInterface_dspEQEnable(jni.env(), nullptr, (b / 30) % 2);
         };
         return run(s);
       }},
      // With the stereo link on: both channels stretched together, their phases linked.
      {"LinkedEveryFeatureAtTheUsualGeometry", "090317fe948fd746",
       [] {
         return everyFeatureSession(
             linked({2048, 4, 44100, 2, 8.0, {2048}, {0.8, 0.8, 0.8, 0.5, 0.5, 1.25, 1.25, 0.75}}));
       }},
      {"LinkedSwitchedAndMixedWhilePlaying", "0b7e18d8bbfb463a",
       [] {
         Session s{1024, 8, 48000, 2, 5.0, {1024, 512, 2048, 333}, {0.7, 0.7, 0.9, 1.5}};
         s.setUp = [](FakeJni& jni) {
           loadVoiceFilter(jni);
           loadEqCurve(jni, 512);
         };
         s.perBlock = [](FakeJni& jni, int b) {
           JNIEnv* env = jni.env();
           Java_velmora_chordsmith_NativeInterface_dspStereoLink(env, nullptr, (b / 7) % 3 != 1);
           Java_velmora_chordsmith_NativeInterface_dspPanning(env, nullptr, (b / 20) % 3 != 0,
                                                              (b / 20) % 3 == 2, 30 + b % 40);
           Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(env, nullptr, (b / 15) % 2);
           Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(env, nullptr, 0.9f);
           Java_velmora_chordsmith_NativeInterface_dspEQEnable(env, nullptr, (b / 25) % 2);
         };
         return run(s);
       }},
      {"LinkedLargestFrameSlowSpeeds", "e16a251ce5af7f8e",
       [] {
         return everyFeatureSession(linked({4096, 8, 44100, 2, 4.0, {4096}, {0.25, 0.25, 0.4, 0.5}}));
       }},
      {"LinkedTinyFramesDownToOneSample",
       "75a58606aab30b63 0f446506a68867a9 321c21a1c5491bf4 6ec2422ce2a7580f 30847eea2ed7d387 ",
       [] {
         std::string all;
         for (int frame : {1, 2, 4, 16, 64}) {
           all +=
               run(linked({frame, frame >= 4 ? 4 : 1, 8000, 2, 0.5, {frame * 8 + 3}, {0.8, 1.0, 2.5}})) + " ";
         }
         return all;
       }},
  };
  return all;
}

// What the digests were computed on, for the log: the architecture, the compiler and, for the
// sines and cosines, the C library.
std::string platform() {
  std::string p;
#if defined(__aarch64__)
  p = "aarch64";
#elif defined(__x86_64__)
  p = "x86-64";
#elif defined(__arm__)
  p = "arm";
#elif defined(__i386__)
  p = "x86";
#else
  p = "an unknown architecture";
#endif
#if defined(__clang__)
  p += ", clang " __clang_version__;
#elif defined(__GNUC__)
  p += ", GCC " __VERSION__;
#endif
#if defined(__ANDROID__)
  p += ", Android's C library";
#elif defined(__GLIBC__)
  p += ", glibc " + std::to_string(__GLIBC__) + "." + std::to_string(__GLIBC_MINOR__);
#endif
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const Check*> chosen;
  for (const Check& c : checks()) {
    bool wanted = argc < 2;
    for (int i = 1; i < argc && !wanted; i++) wanted = std::strstr(c.name, argv[i]) != nullptr;
    if (wanted) chosen.push_back(&c);
  }
  if (chosen.empty()) {
    std::fprintf(stderr, "digest_test: no session's name contains what was asked; the sessions are:\n");
    for (const Check& c : checks()) std::fprintf(stderr, "  %s\n", c.name);
    return 2;
  }

  std::vector<SimdPath> paths;
  for (int p = 0; p < kSimdPathCount; p++) {
    const SimdPath path = (SimdPath)p;
    if ((kEveryPath || path == simd_path()) && simd_path_available(path)) paths.push_back(path);
  }
  std::printf("Engine digests on %s\n", platform().c_str());
  int passed = 0, failed = 0;
  for (const Check* c : chosen) {
    for (SimdPath path : paths) {
      simd_force_path(path);
      const std::string got = c->digest();
      const char* name = simd_path_name(path);
      if (got == c->expected) {
        passed++;
        std::printf("  same     %-38s %-9s %s\n", c->name, name, got.c_str());
      } else {
        failed++;
        std::printf("  DIFFERS  %-38s %-9s %s, expected %s\n", c->name, name, got.c_str(), c->expected);
      }
      std::fflush(stdout);
    }
  }
  simd_release_path();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
