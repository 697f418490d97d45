package velmora.chordsmith.engine;

import java.io.InputStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.Pcm16;

/**
 * Drives the engine through one stretch, block by block as an application's audio thread does,
 * and hands out the trimmed result as a stream of little-endian 16-bit PCM, computed as it is
 * read. Along the way it keeps the peak level and reads the spectrum after every block, as an
 * application's display would.
 */
public final class Stretcher {
  /** Told how many input frames have been consumed so far. */
  public interface Progress {
    void update(long inputFrames);
  }

  private final Engine engine;
  private final Audio input;
  private final StretchPlan plan;
  private final Progress progress;
  private final short[] block;

  /** Brings the analyser's readings to the output's level at 0 dB preamp, at every speed. */
  private final float spectrumScale;
  private long hopsDone;
  private long engineFrames;
  private float peak;
  /** One spectrum reading per block, and the output time in seconds it describes. */
  public final List<float[]> columns = new ArrayList<>();
  public final List<Double> columnTimes = new ArrayList<>();

  public Stretcher(Engine engine, Audio input, StretchPlan plan, Progress progress) {
    this.engine = engine;
    this.input = input;
    this.plan = plan;
    this.progress = progress;
    // The same array carries a block's input and, on return, its output.
    this.block = new short[Math.max(plan.blockInFrames(), plan.blockOutFrames()) * input.channels];
    this.spectrumScale = EngineFacts.spectrumToOutput(plan.frameSize, plan.stepOut);
  }

  /**
   * Sets the engine up for a stretch by {@code plan} of audio at {@code sampleRate} with
   * {@code channels}, mixed by {@code mix}. Every setting is written, since the engine keeps them
   * from any earlier run in the process.
   */
  public static void configure(Engine engine, StretchPlan plan, int sampleRate, int channels, Mix mix) {
    engine.init(plan.frameSize, plan.overSampling, sampleRate, channels);
    mix.apply(engine, plan.frameSize, sampleRate);
    engine.enableSpectrum(true);
  }

  public float peak() { return peak; }

  /** The stretched audio: exactly {@code plan.outputFrames} frames, read on demand. */
  public InputStream output() {
    return new InputStream() {
      private final long totalBytes = plan.outputFrames * input.channels * 2;
      private long delivered;
      private byte[] pending = new byte[0];
      private int pendingPos;

      @Override
      public int read() {
        byte[] one = new byte[1];
        return read(one, 0, 1) < 0 ? -1 : one[0] & 0xff;
      }

      @Override
      public int read(byte[] b, int off, int len) {
        if (len == 0) return 0;
        while (pendingPos == pending.length) {
          if (delivered == totalBytes) return -1;
          pending = nextBlock();
          pendingPos = 0;
        }
        int n = Math.min(len, pending.length - pendingPos);
        System.arraycopy(pending, pendingPos, b, off, n);
        pendingPos += n;
        delivered += n;
        return n;
      }
    };
  }

  /** Runs one block and returns the part of its output that belongs to the result. */
  private byte[] nextBlock() {
    int ch = input.channels;
    int hops = (int) Math.min(plan.blockHops, plan.totalHops - hopsDone);
    if (hops <= 0) throw new IllegalStateException("the plan ran out of hops before the output was complete");
    int samplesIn = hops * plan.stepIn;
    int samplesOut = hops * plan.stepOut;
    long start = hopsDone * plan.stepIn;
    // Past the end of the input the engine is fed silence, to push the tail out.
    int available = (int) Math.max(0, Math.min(samplesIn, input.frames - start));
    if (available > 0) System.arraycopy(input.samples, (int) (start * ch), block, 0, available * ch);
    Arrays.fill(block, available * ch, samplesIn * ch, (short) 0);

    engine.process(block, samplesIn, samplesOut);
    hopsDone += hops;
    peak = Math.max(peak, engine.maxLevel());
    float[] bands = new float[EngineFacts.BANDS];
    engine.spectrum(bands);
    for (int b = 0; b < EngineFacts.BANDS; b++) bands[b] *= spectrumScale;
    columns.add(bands);
    engineFrames += samplesOut;
    columnTimes.add((double) (engineFrames - plan.latency - EngineFacts.SPECTRUM_DELAY) / input.sampleRate);
    progress.update(Math.min(input.frames, start + samplesIn));

    // Keep engine frames [latency, latency + outputFrames).
    long blockStart = engineFrames - samplesOut;
    long from = Math.max(blockStart, plan.latency);
    long to = Math.min(engineFrames, plan.latency + plan.outputFrames);
    if (to <= from) return new byte[0];
    return Pcm16.pack(block, (int) (from - blockStart) * ch, (int) (to - from) * ch);
  }
}
