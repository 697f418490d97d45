package velmora.chordsmith.engine;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.PcmSource;
import org.junit.jupiter.api.Test;

/** Cutting a stretch into engine blocks: hops, lengths, latency, and the engine's contract. */
class StretchPlanTest {
  @Test
  void realisesTheSpeedAsWholeHopsThatTheEnginesFloatQuotientReproduces() throws Exception {
    for (int overSampling : new int[] {2, 4, 8, 16, 32}) {
      for (double speed = 0.25; speed <= 4.0; speed += 0.01) {
        StretchPlan p;
        try {
          p = StretchPlan.of(2048, overSampling, speed);
        } catch (IllegalArgumentException tooSlowForTheOverlap) {
          continue;
        }
        String where = "speed " + speed + " oversampling " + overSampling;
        assertTrue(Math.abs(p.stepIn / speed - p.stepOut) <= 0.5, where + ": " + p.stepOut);
        int engine = EngineFacts.outputHop(p.blockInFrames(), p.blockOutFrames(), p.stepIn);
        assertEquals(p.stepOut, engine, where);
      }
    }
    // Why other hops are not offered: a hop of 682 and 720 frames asked for gives 719, not 720.
    assertEquals(719, EngineFacts.outputHop(682, 720, 682));
    // Should such a hop come up, the nearest output hop that the engine gives back is taken:
    // round(682 / 1.4) = 487 and the next four would each leave stale frames in every block.
    assertEquals(484, StretchPlan.chooseHops(682, 1.4)[0]);
  }

  @Test
  void makesTheOutputTheInputDividedByTheRealisedSpeed() throws Exception {
    StretchPlan p = StretchPlan.of(2048, 4, 0.75);
    assertEquals(512, p.stepIn);
    assertEquals(683, p.stepOut);
    assertEquals(Math.round(44100 * 683 / 512.0), p.outputFrames(44100));
    // Four hours at 192 kHz, where a double product would round differently.
    long hours = 4L * 3600 * 192000 + 1;
    assertEquals((2 * hours * 683 + 512) / 1024, p.outputFrames(hours));
  }

  @Test
  void latencyIsTheZeroPaddingOfTheFirstFrameAtUnitSpeed() throws Exception {
    assertEquals(2048 - 512, StretchPlan.of(2048, 4, 1.0).latency);
    assertEquals(4096 - 1024, StretchPlan.of(4096, 4, 1.0).latency);
    // Slowed to half: frame centres map t -> (t - 512 + 1024) * 2 + 1024.
    assertEquals(2048, StretchPlan.of(2048, 4, 0.5).latency);
  }

  @Test
  void refusesAnOutputHopLongerThanHalfAFrame() {
    assertThrows(IllegalArgumentException.class, () -> StretchPlan.of(2048, 4, 0.3));
    assertTrue(StretchPlan.overlapsEnough(2048, 1024));
  }

  /**
   * Stands in for the engine at unit speed: checks each call against the engine's rules and
   * returns its input delayed by the first frame's zero padding, as the real engine does at
   * speed 1 for a signal that its resynthesis reproduces.
   */
  static class DelayEngine implements Engine {
    final int frameSize;
    final int stepIn;
    final List<Integer> blocks = new ArrayList<>();
    private final List<short[]> history = new ArrayList<>();
    private final int channels;
    private long frames;

    DelayEngine(int frameSize, int overSampling, int channels) {
      this.frameSize = frameSize;
      this.stepIn = frameSize / overSampling;
      this.channels = channels;
    }

    @Override public void init(int f, int o, int rate, int ch) { assertEquals(frameSize, f); }
    @Override public void setPreamp(float gain) {}
    @Override public void setPanning(boolean active, boolean mono, int level) {}
    @Override public void setVoiceRemoval(double[] a, double[] b, float amount) {}
    @Override public void setVoiceAmount(float amount) {}
    @Override public void setEqualiser(float[] gains) {}
    @Override public void enableSpectrum(boolean on) {}
    @Override public void setStereoLink(boolean on) {}
    @Override public float maxLevel() { return 0.5f; }
    @Override public void spectrum(float[] bands) { bands[45] = 0.3f; }

    @Override
    public void process(short[] samples, int samplesIn, int samplesOut) {
      assertEquals(0, samplesIn % stepIn, "blocks are whole hops");
      assertEquals(samplesIn, samplesOut, "unit speed asks for what it gives");
      int first = blocks.isEmpty() ? samplesIn : blocks.get(0);
      assertTrue(samplesIn <= 4 * first, "no block beyond 4x the first");
      assertTrue(samples.length >= samplesIn * channels);
      blocks.add(samplesIn);
      int delay = frameSize - stepIn;
      for (int i = 0; i < samplesIn; i++) {
        short[] frame = new short[channels];
        System.arraycopy(samples, i * channels, frame, 0, channels);
        history.add(frame);
      }
      for (int i = 0; i < samplesOut; i++) {
        long source = frames + i - delay;
        for (int c = 0; c < channels; c++) {
          samples[i * channels + c] = source < 0 ? 0 : history.get((int) source)[c];
        }
      }
      frames += samplesIn;
    }
  }

  /** Runs {@code input} through the stand-in engine at unit speed from stream frame {@code lead} on. */
  static short[] stretch(Audio input, long lead, List<Long> progress, List<Double> readingTimes) throws Exception {
    StretchPlan plan = StretchPlan.of(2048, 4, 1.0);
    DelayEngine engine = new DelayEngine(2048, 4, input.channels);
    short[] out = new short[input.samples.length];
    int[] written = {0};
    StretchJob.Result r = StretchJob.run(engine, plan, input.source(), lead, (samples, offset, frames) -> {
      System.arraycopy(samples, offset * input.channels, out, written[0], frames * input.channels);
      written[0] += frames * input.channels;
    }, (bands, seconds, outputSeconds) -> readingTimes.add(seconds), progress::add);
    assertEquals(0.5f, r.peak());
    assertEquals(engine.blocks.size(), readingTimes.size(), "one reading per block");
    assertEquals(r.outputFrames() * input.channels, written[0]);
    return Arrays.copyOf(out, written[0]);
  }

  @Test
  void trimsTheLatencyAndTheLeadAndFlushesTheTailSoTheOutputLinesUpWithTheInput() throws Exception {
    for (int length : new int[] {1, 511, 512, 4096, 10000}) {
      short[] samples = new short[2 * length];
      for (int i = 0; i < samples.length; i++) samples[i] = (short) (i * 7 - 30000);
      Audio input = new Audio(samples, 2, 44100);
      short[] out = stretch(input, 0, new ArrayList<>(), new ArrayList<>());
      assertArrayEquals(samples, out, "length " + length);
      // What precedes the lead only primes the engine: the output starts after it.
      if (length > 1024) {
        short[] primed = stretch(input, 1024, new ArrayList<>(), new ArrayList<>());
        assertArrayEquals(Arrays.copyOfRange(samples, 2 * 1024, samples.length), primed, "length " + length);
      }
    }
    assertThrows(IllegalArgumentException.class, () -> stretch(new Audio(new short[4096], 1, 8000), 100,
        new ArrayList<>(), new ArrayList<>()), "a lead that is not whole hops");
  }

  @Test
  void reportsProgressUpToTheWholeInputAndReadingsAtTheirOutputTimes() throws Exception {
    List<Long> seen = new ArrayList<>();
    List<Double> times = new ArrayList<>();
    stretch(new Audio(new short[30000], 1, 8000), 0, seen, times);
    assertEquals(30000L, seen.get(seen.size() - 1));
    for (int i = 1; i < seen.size(); i++) assertTrue(seen.get(i) >= seen.get(i - 1));
    // The first block's reading describes the analyser's window centre, before the output starts.
    assertEquals((4096 - 1536 - EngineFacts.SPECTRUM_DELAY) / 8000.0, times.get(0), 1e-12);
  }

  @Test
  void aSpeedChangeBetweenBlocksAsksTheEngineForTheNewHop() throws Exception {
    List<Integer> asked = new ArrayList<>();
    Engine engine = new DelayEngine(2048, 4, 1) {
      @Override
      public void process(short[] samples, int samplesIn, int samplesOut) { asked.add(samplesOut); }
    };
    Stretcher stretcher = new Stretcher(engine, StretchPlan.of(2048, 4, 1.0), 1);
    PcmSource silence = new Audio(new short[100000], 1, 8000).source();
    stretcher.step(silence);
    stretcher.setPlan(StretchPlan.of(2048, 4, 0.5));
    stretcher.step(silence);
    assertEquals(List.of(4096, 8192), asked);
    assertThrows(IllegalArgumentException.class, () -> stretcher.setPlan(StretchPlan.of(2048, 8, 0.5)),
        "the frames overlap as set up");
  }
}
