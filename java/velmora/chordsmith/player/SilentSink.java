package velmora.chordsmith.player;

import java.util.concurrent.locks.LockSupport;

/**
 * A sink with no speaker behind it that still plays in real time: it holds a buffer as a device
 * would and drains it by the clock, so {@link #write} waits exactly as long as a sound card would
 * make it wait and {@link #played} advances as a card's would. Everything above it (the engine,
 * the position, the meters, the display) runs as it does with sound.
 */
public final class SilentSink implements Sink {
  private final int sampleRate;
  private final int bufferFrames;
  private final String reason;
  private long written;
  /** Frames buffered at {@code since}; the clock drains them at the sample rate. */
  private double queued;
  private long since = System.nanoTime();

  /** {@code reason} says why there is no sound, for the window. */
  public SilentSink(int sampleRate, int bufferFrames, String reason) {
    this.sampleRate = sampleRate;
    this.bufferFrames = bufferFrames;
    this.reason = reason;
  }

  /** The stand-in for a machine with no sound device that plays this format. */
  public static SilentSink noDevice(int sampleRate, int channels, int bufferFrames) {
    return new SilentSink(sampleRate, bufferFrames, String.format(java.util.Locale.ROOT,
        "No sound device for 16-bit %s at %d Hz: playing silently in real time",
        channels == 2 ? "stereo" : "mono", sampleRate));
  }

  private double queuedNow(long now) { return Math.max(0, queued - (now - since) * 1e-9 * sampleRate); }

  @Override
  public void write(short[] samples, int frames) {
    long now = System.nanoTime();
    double q = queuedNow(now);
    // Wait until the new frames fit, as a full device buffer would make us.
    double excess = q + frames - bufferFrames;
    if (excess > 0) {
      long until = now + (long) Math.ceil(excess / sampleRate * 1e9);
      for (long t = now; t < until; t = System.nanoTime()) LockSupport.parkNanos(until - t);
      now = System.nanoTime();
      q = queuedNow(now);
    }
    queued = q + frames;
    since = now;
    written += frames;
  }

  @Override
  public long played() { return written - (long) Math.ceil(queuedNow(System.nanoTime())); }

  @Override
  public int bufferFrames() { return bufferFrames; }

  @Override
  public String describe() { return reason; }

  @Override
  public boolean audible() { return false; }

  @Override
  public void close() {}
}
