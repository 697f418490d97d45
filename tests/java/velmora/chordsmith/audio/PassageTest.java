package velmora.chordsmith.audio;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import org.junit.jupiter.api.Test;

/** A passage of a recording as the engine's stream: primed, cut, looped with crossfades. */
class PassageTest {
  /** Mono frames whose value is their index: where each frame came from can be read off it. */
  static final Audio RAMP;

  static {
    short[] samples = new short[20000];
    for (int i = 0; i < samples.length; i++) samples[i] = (short) i;
    RAMP = new Audio(samples, 1, 8000);
  }

  static short[] all(Passage p) throws Exception {
    short[] out = new short[100000];
    int n = 0;
    // Reads of odd sizes, as blocks and joins never line up.
    for (int got; (got = p.read(out, n, 333)) > 0; ) n += got;
    assertEquals(0, p.read(out, n, 333), "nothing after the end");
    return Arrays.copyOf(out, n);
  }

  static short[] ramp(int from, int to) {
    short[] r = new short[to - from];
    for (int i = 0; i < r.length; i++) r[i] = (short) (from + i);
    return r;
  }

  @Test
  void primesWithWhatPrecedesTheStartInWholeHopsAndEndsAtTheEnd() throws Exception {
    Passage p = new Passage(RAMP.source(), RAMP::source, 5000, 6000, 1, 1000, 512, 80);
    // 1000 frames of priming, after 24 of silence: a lead of two whole hops of 512.
    assertEquals(1024, p.lead());
    short[] expected = new short[1024 + 1000];
    System.arraycopy(ramp(4000, 6000), 0, expected, 24, 2000);
    assertArrayEquals(expected, all(p));
    // From the beginning there is nothing to prime with; to the end of the recording.
    Passage whole = new Passage(RAMP.source(), RAMP::source, 0, -1, 1, 1000, 512, 80);
    assertEquals(0, whole.lead());
    assertArrayEquals(RAMP.samples, all(whole));
    assertEquals(20000, whole.length());
  }

  @Test
  void loopsJoinThroughACrossfadeIntoWhatLeadsToTheStart() throws Exception {
    for (long end : new long[] {6000, -1}) {
      Passage p = new Passage(RAMP.source(), RAMP::source, 5000, end, 3, 512, 512, 80);
      short[] out = all(p);
      int length = end < 0 ? 15000 : 1000;
      assertEquals(512 + 3 * length, out.length, "end " + end);
      for (int loop = 0; loop < 3; loop++) {
        int at = 512 + loop * length;
        // Each loop plays the passage; all but the last end by fading into the frames before the start.
        int clean = loop < 2 ? length - 80 : length;
        assertArrayEquals(ramp(5000, 5000 + clean), Arrays.copyOfRange(out, at, at + clean), "loop " + loop);
        if (loop < 2) {
          int fadeEnd = at + length;
          assertTrue(Math.abs(out[at + clean] - (5000 + clean)) < 80, "the fade starts on the passage");
          // Equal power: in the middle both weigh about √½.
          double both = (5000 + clean + 40) + (5000 - 80 + 40);
          assertEquals(both * Math.sqrt(0.5), out[at + clean + 40], 0.02 * both, "both halves in the middle");
          assertEquals(4999, out[fadeEnd - 1], 0.015 * (5000 + length), "the fade ends before the start");
        }
      }
      // A recording that can be read only once gives the same stream from memory.
      short[] once = all(new Passage(RAMP.source(), null, 5000, end, 3, 512, 512, 80));
      assertArrayEquals(out, once, "end " + end);
    }
  }

  @Test
  void refusesAStartPastTheEndAndAPassageTooShortToLoop() {
    FileException late = assertThrows(FileException.class,
        () -> all(new Passage(RAMP.source(), RAMP::source, 30000, -1, 1, 512, 512, 80)));
    assertTrue(late.getMessage().contains("before the passage starts"), late.getMessage());
    FileException shortLoop = assertThrows(FileException.class,
        () -> all(new Passage(RAMP.source(), RAMP::source, 19900, -1, 2, 512, 512, 80)));
    assertTrue(shortLoop.getMessage().contains("too short to loop"), shortLoop.getMessage());
  }
}
