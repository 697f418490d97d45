package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicReference;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.audio.StereoImage;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * The whole engine through a real JVM (run with -Xcheck:jni). The engine is process-wide and
 * keeps its mixer settings from whatever ran before in this JVM, so every test starts from a
 * neutral one.
 */
class EngineTest {
  private static final int RATE = 44100;
  private final NativeInterface dsp = new NativeInterface();

  @BeforeEach
  void startFromANeutralMixer() { neutralMixer(dsp); }

  /** A neutral mixer: preamp 1; panning, voice removal and the equaliser off; the analyser on. */
  static void neutralMixer(NativeInterface dsp) {
    dsp.dspSetPreamp(1f);
    dsp.dspPanning(0, 0, 50);
    dsp.dspVoiceRemovalEnable(0);
    dsp.dspVoiceRemovalAmount(0f);
    dsp.dspEQEnable(0);
    dsp.dspSpectrumEnable(1);
    dsp.dspStereoLink(0);
  }

  /** Interleaved 16-bit sine frames [start, start + frames), with room for {@code capacity} frames. */
  private static short[] sine(int frames, int capacity, int channels, double hz, double amp, double rightGain,
      long start) {
    short[] block = new short[capacity * channels];
    for (int i = 0; i < frames; i++) {
      double v = amp * Math.sin(2 * Math.PI * hz * (start + i) / RATE);
      block[i * channels] = (short) Math.round(v);
      if (channels == 2) block[i * 2 + 1] = (short) Math.round(v * rightGain);
    }
    return block;
  }

  /** Runs {@code blocks} blocks of 1024 frames in, 1280 out (speed 0.8), and returns the output. */
  private short[] stretch(int channels, double hz, double rightGain, int blocks) {
    dsp.dspInit(1024, 4, RATE, channels);
    short[] out = new short[blocks * 1280 * channels];
    for (int b = 0; b < blocks; b++) {
      short[] block = sine(1024, 1280, channels, hz, 12000, rightGain, b * 1024L);
      dsp.dspProcess(block, 1024, 1280, 0f);
      System.arraycopy(block, 0, out, b * 1280 * channels, 1280 * channels);
    }
    return out;
  }

  private static double rms(short[] x, int channels, int channel, int fromFrame) {
    double sum = 0;
    int n = 0;
    for (int i = fromFrame * channels + channel; i < x.length; i += channels, n++) sum += (double) x[i] * x[i];
    return Math.sqrt(sum / Math.max(n, 1));
  }

  @Test
  void monoBlocksAreStretchedAndCopiedBack() {
    short[] out = stretch(1, 440, 1, 12);
    // After the first frame's latency the output is a steady sine at the engine's fixed gain:
    // resynthesis from the positive half of the spectrum alone, over Hann-squared overlap.
    double level = rms(out, 1, 0, 4 * 1280);
    assertEquals(EngineFacts.STEADY_GAIN * 12000 / Math.sqrt(2), level, 0.05 * level);
    float peak = dsp.dspGetMaxLevel();
    assertEquals((float) EngineFacts.STEADY_GAIN * 12000 / 32768, peak, 0.02f);
  }

  @Test
  void stereoKeepsItsChannelsApart() {
    short[] out = stretch(2, 440, 0.25, 12);
    double left = rms(out, 2, 0, 4 * 1280);
    double right = rms(out, 2, 1, 4 * 1280);
    assertEquals(0.25, right / left, 0.02);
  }

  @Test
  void elementsPastTheOutputKeepTheirInput() {
    dsp.dspInit(1024, 4, RATE, 2);
    short[] block = sine(1024, 1024, 2, 440, 9000, 1, 0);
    short[] input = block.clone();
    dsp.dspProcess(block, 1024, 600, 0f);
    assertArrayEquals(Arrays.copyOfRange(input, 1200, 2048), Arrays.copyOfRange(block, 1200, 2048));
    short[] none = input.clone();
    dsp.dspProcess(none, 1024, 0, 0f);
    assertArrayEquals(input, none);
    assertEquals(0f, dsp.dspGetMaxLevel());
  }

  @Test
  void stereoLinkKeepsTheImageOfARecordingThatTheIndependentStretchLoses() {
    Audio song = ExampleSong.make();
    StereoImage in = StereoImage.of(song);
    StereoImage[] out = new StereoImage[2];
    for (int link = 0; link < 2; link++) {
      dsp.dspInit(2048, 4, song.sampleRate, 2);
      dsp.dspStereoLink(link);
      out[link] = new StereoImage();
      short[] block = new short[4 * 683 * 2];  // speed 0.75: hops of 512 in, 683 out
      for (int b = 0; b < song.frames / 2048; b++) {
        System.arraycopy(song.samples, b * 2048 * 2, block, 0, 2048 * 2);
        dsp.dspProcess(block, 2048, 4 * 683, 0f);
        if (b > 0) out[link].add(block, 0, 4 * 683);
      }
    }
    assertEquals(in.correlation(), out[1].correlation(), 0.05);
    assertEquals(in.monoFoldDb(), out[1].monoFoldDb(), 0.3);
    assertTrue(out[0].correlation() < in.correlation() - 0.2, "unlinked " + out[0].correlation());
  }

  @Test
  void preampScalesTheMeasuredPeak() {
    stretch(1, 440, 1, 8);
    float unity = dsp.dspGetMaxLevel();
    dsp.dspSetPreamp(2f);
    stretch(1, 440, 1, 8);
    assertEquals(2 * unity, dsp.dspGetMaxLevel(), 1e-3f);
  }

  @Test
  void equaliserWithZeroGainsSilencesAndWithUnitGainsChangesNothing() {
    short[] plain = stretch(1, 660, 1, 6);
    float[] ones = new float[512];
    Arrays.fill(ones, 1f);
    dsp.dspEQSetBands(ones);
    dsp.dspEQEnable(1);
    assertArrayEquals(plain, stretch(1, 660, 1, 6));
    dsp.dspEQSetBands(new float[512]);
    short[] silent = stretch(1, 660, 1, 6);
    assertArrayEquals(new short[silent.length], silent);
    dsp.dspEQSetBands(ones);
  }

  @Test
  void voiceRemovalCancelsTheCentreAndKeepsTheSides() {
    dsp.dspVoiceRemovalFilter(new double[] {1}, new double[] {1}, 1, 1);  // pass-through filter
    dsp.dspVoiceRemovalEnable(1);
    dsp.dspVoiceRemovalAmount(1f);
    short[] centre = stretch(2, 440, 1, 8);
    assertArrayEquals(new short[centre.length], centre);
    short[] side = stretch(2, 440, 0, 8);  // left only: the right side receives -left
    assertTrue(rms(side, 2, 0, 4 * 1280) > 5000);
    assertTrue(rms(side, 2, 1, 4 * 1280) > 5000);
  }

  @Test
  void balanceAndMonoFoldMoveTheSides() {
    dsp.dspPanning(1, 0, 100);  // the left input on both sides
    short[] out = stretch(2, 440, 0, 8);
    assertEquals(rms(out, 2, 0, 4 * 1280), rms(out, 2, 1, 4 * 1280), 1.0);
    dsp.dspPanning(1, 1, 0);  // the mono fold: half of the left on both
    short[] folded = stretch(2, 440, 0, 8);
    assertEquals(0.5, rms(folded, 2, 1, 4 * 1280) / rms(out, 2, 1, 4 * 1280), 0.02);
  }

  @Test
  void spectrumFollowsTheOutputAndFreezesWhenSwitchedOff() {
    dsp.dspSpectrumEnable(1);
    stretch(2, 440, 1, 30);
    float[] bands = new float[EngineFacts.BANDS];
    dsp.dspGetSpectrum(bands, EngineFacts.BANDS);
    int loudest = 0;
    for (int i = 1; i < EngineFacts.BANDS; i++) if (bands[i] > bands[loudest]) loudest = i;
    assertEquals(EngineFacts.band(440), loudest, "A4 stays A4 when slowed down");

    dsp.dspSpectrumEnable(0);
    float[] frozen = new float[72];
    dsp.dspGetSpectrum(frozen, 72);
    short[] block = sine(1024, 1280, 2, 1000, 12000, 1, 0);
    dsp.dspProcess(block, 1024, 1280, 0f);
    float[] after = new float[72];
    dsp.dspGetSpectrum(after, 72);
    assertArrayEquals(frozen, after);
  }

  @Test
  void nullAndShortArraysAreHandledWithoutACrash() {
    dsp.dspInit(1024, 4, RATE, 2);
    dsp.dspProcess(null, 1024, 1024, 0f);
    assertEquals(0f, dsp.dspGetMaxLevel());
    short[] tiny = new short[10];
    Arrays.fill(tiny, (short) 1000);
    dsp.dspProcess(tiny, 4096, 8192, 0f);
    assertEquals(10, tiny.length);
    short[] odd = new short[7];
    dsp.dspProcess(odd, 100, 100, 0f);
    dsp.dspEQSetBands(null);
    dsp.dspGetSpectrum(null, 72);
    dsp.dspVoiceRemovalFilter(null, null, 3, 3);
    dsp.dspGetSpectrum(new float[3], 72);
  }

  @Test
  void settersAndReadersRunOnOtherThreadsDuringProcessing() throws InterruptedException {
    dsp.dspInit(1024, 4, RATE, 2);
    AtomicBoolean stop = new AtomicBoolean();
    AtomicReference<Throwable> failure = new AtomicReference<>();
    Thread app = new Thread(() -> {
      try {
        float[] bands = new float[72];
        float[] gains = new float[512];
        for (int i = 0; !stop.get(); i++) {
          Arrays.fill(gains, 0.5f + (i % 3));
          dsp.dspEQSetBands(gains);
          dsp.dspEQEnable(i % 2);
          dsp.dspSetPreamp(0.5f + (i % 4) * 0.25f);
          dsp.dspPanning(i % 2, (i / 2) % 2, i % 101);
          dsp.dspVoiceRemovalEnable(i % 2);
          dsp.dspVoiceRemovalAmount((i % 5) * 0.25f);
          if (i % 20 == 0) dsp.dspVoiceRemovalFilter(new double[] {1, -0.5}, new double[] {0.5, 0.5}, 2, 2);
          dsp.dspSpectrumEnable((i / 7) % 2);
          dsp.dspGetSpectrum(bands, 72);
          float peak = dsp.dspGetMaxLevel();
          if (Float.isNaN(peak) || peak < 0) throw new AssertionError("peak " + peak);
        }
      } catch (Throwable t) {
        failure.set(t);
      }
    });
    app.start();
    for (int b = 0; b < 300; b++) {
      short[] block = sine(1024, 1280, 2, 440, 12000, -0.5, b * 1024L);
      dsp.dspProcess(block, 1024, 1280, 0f);
    }
    stop.set(true);
    app.join();
    assertEquals(null, failure.get());
    assertNotEquals(0f, dsp.dspGetMaxLevel());
  }
}
