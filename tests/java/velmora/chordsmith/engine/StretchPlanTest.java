package velmora.chordsmith.engine;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.Pcm16;
import org.junit.jupiter.api.Test;

/** Cutting a stretch into engine blocks: hops, lengths, latency, and the engine's contract. */
class StretchPlanTest {
  @Test
  void realisesTheSpeedAsWholeHopsThatTheEnginesFloatQuotientReproduces() throws Exception {
    for (int overSampling : new int[] {2, 4, 8, 16, 32}) {
      for (double speed = 0.25; speed <= 4.0; speed += 0.01) {
        StretchPlan p;
        try {
          p = StretchPlan.of(2048, overSampling, speed, 100000);
        } catch (IllegalArgumentException tooSlowForTheOverlap) {
          continue;
        }
        String where = "speed " + speed + " oversampling " + overSampling;
        assertTrue(Math.abs(p.stepIn / speed - p.stepOut) <= 0.5, where + ": " + p.stepOut);
        int engine = EngineFacts.outputHop(p.blockInFrames(), p.blockOutFrames(), p.stepIn);
        assertEquals(p.stepOut, engine, where);
        assertEquals(0, p.totalHops % p.blockHops);
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
    StretchPlan p = StretchPlan.of(2048, 4, 0.75, 44100);
    assertEquals(512, p.stepIn);
    assertEquals(683, p.stepOut);
    assertEquals(Math.round(44100 * 683 / 512.0), p.outputFrames);
    assertTrue(p.totalHops * p.stepOut >= p.latency + p.outputFrames);
    assertTrue((p.totalHops - p.blockHops) * p.stepOut < p.latency + p.outputFrames);
  }

  @Test
  void latencyIsTheZeroPaddingOfTheFirstFrameAtUnitSpeed() throws Exception {
    assertEquals(2048 - 512, StretchPlan.of(2048, 4, 1.0, 1000).latency);
    assertEquals(4096 - 1024, StretchPlan.of(4096, 4, 1.0, 1000).latency);
    // Slowed to half: frame centres map t -> (t - 512 + 1024) * 2 + 1024.
    assertEquals(2048, StretchPlan.of(2048, 4, 0.5, 1000).latency);
  }

  @Test
  void refusesAnOutputHopLongerThanHalfAFrame() {
    assertThrows(IllegalArgumentException.class, () -> StretchPlan.of(2048, 4, 0.3, 1000));
    assertTrue(StretchPlan.overlapsEnough(2048, 1024));
  }

  /**
   * Stands in for the engine at unit speed: checks each call against the engine's rules and
   * returns its input delayed by the first frame's zero padding, as the real engine does at
   * speed 1 for a signal that its resynthesis reproduces.
   */
  static final class DelayEngine implements Engine {
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

  @Test
  void trimsTheLatencyAndFlushesTheTailSoTheOutputLinesUpWithTheInput() throws Exception {
    for (int length : new int[] {1, 511, 512, 4096, 10000}) {
      short[] samples = new short[2 * length];
      for (int i = 0; i < samples.length; i++) samples[i] = (short) (i * 7 - 30000);
      Audio input = new Audio(samples, 2, 44100);
      StretchPlan plan = StretchPlan.of(2048, 4, 1.0, length);
      DelayEngine engine = new DelayEngine(2048, 4, 2);
      Stretcher stretcher = new Stretcher(engine, input, plan, done -> {});
      byte[] bytes = stretcher.output().readAllBytes();
      short[] out = Pcm16.unpack(bytes, bytes.length / 2);
      assertArrayEquals(samples, out, "length " + length);
      assertEquals(0.5f, stretcher.peak());
      assertEquals(engine.blocks.size(), stretcher.columns.size());
    }
  }

  @Test
  void reportsProgressUpToTheWholeInput() throws Exception {
    Audio input = new Audio(new short[30000], 1, 8000);
    StretchPlan plan = StretchPlan.of(1024, 4, 1.0, 30000);
    List<Long> seen = new ArrayList<>();
    new Stretcher(new DelayEngine(1024, 4, 1), input, plan, seen::add).output().readAllBytes();
    assertEquals(30000L, seen.get(seen.size() - 1));
    for (int i = 1; i < seen.size(); i++) assertTrue(seen.get(i) >= seen.get(i - 1));
  }
}
