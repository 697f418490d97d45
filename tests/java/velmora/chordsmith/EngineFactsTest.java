package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** What the Java side keeps about the engine, checked against the engine itself. */
class EngineFactsTest {
  private static final int RATE = 44100;
  private final NativeInterface dsp = new NativeInterface();

  @BeforeEach
  void startFromANeutralMixer() { EngineTest.neutralMixer(dsp); }

  /** Stretches a 440 Hz sine, one hop of {@code stepIn} frames per block, asking {@code out} frames back. */
  private short[] oneHopBlocks(int stepIn, int out, int hops, double amplitude) {
    short[] result = new short[hops * out];
    short[] block = new short[Math.max(stepIn, out)];
    for (int h = 0; h < hops; h++) {
      for (int i = 0; i < stepIn; i++) {
        double t = (double) ((long) h * stepIn + i) / RATE;
        block[i] = (short) Math.round(amplitude * 32767 * Math.sin(2 * Math.PI * 440 * t));
      }
      dsp.dspProcess(block, stepIn, out, 0f);
      System.arraycopy(block, 0, result, h * out, out);
    }
    return result;
  }

  /** The largest second difference after {@code from}: a few dozen on a sine, thousands at a stale sample. */
  private static double worstBend(short[] x, int from) {
    double worst = 0;
    for (int i = from + 1; i + 1 < x.length; i++) {
      worst = Math.max(worst, Math.abs(x[i - 1] - 2.0 * x[i] + x[i + 1]));
    }
    return worst;
  }

  @Test
  void aBlockGetsFreshFramesExactlyWhenTheOutputHopGivesBackWhatItAskedFor() {
    // An analysis hop of 682 (2048 / 3) is not a power of two: the float ratio truncates
    // 715 to 723 frames asked for to one less. Asking for more than the engine emits repeats
    // stale samples at the end of every block.
    for (int out = 712; out <= 728; out++) {
      dsp.dspInit(2048, 3, RATE, 1);
      boolean fresh = worstBend(oneHopBlocks(682, out, 60, 0.4), 10 * out) < 1000;
      assertEquals(EngineFacts.outputHop(682, out, 682) == out, fresh, out + " frames asked for");
    }
  }

  @Test
  void aSineReadsItsLevelInItsBandOnceScaledToTheOutput() {
    // Output hops that are a multiple of 4: the analyser keeps every fourth sample of each hop.
    for (int stepOut : new int[] {128, 320}) {
      dsp.dspInit(1024, 4, RATE, 1);
      oneHopBlocks(256, stepOut, 800, 0.5);
      float[] bands = new float[EngineFacts.BANDS];
      dsp.dspGetSpectrum(bands, EngineFacts.BANDS);
      int loudest = 0;
      for (int i = 1; i < EngineFacts.BANDS; i++) if (bands[i] > bands[loudest]) loudest = i;
      assertEquals(EngineFacts.band(440), loudest);
      float level = bands[loudest] * EngineFacts.spectrumToOutput(1024, stepOut);
      assertEquals(0.5 * EngineFacts.FULL_SCALE_READING, level, 0.005 * level, "output hop " + stepOut);
    }
  }
}
