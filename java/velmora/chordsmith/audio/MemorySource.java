package velmora.chordsmith.audio;

/** The first {@code frames} frames of an interleaved array in memory, read once from the start. */
final class MemorySource implements PcmSource {
  private final short[] samples;
  private final long frames;
  private final int channels;
  private final int sampleRate;
  private long next;

  MemorySource(short[] samples, long frames, int channels, int sampleRate) {
    this.samples = samples;
    this.frames = frames;
    this.channels = channels;
    this.sampleRate = sampleRate;
  }

  @Override public int channels() { return channels; }
  @Override public int sampleRate() { return sampleRate; }

  @Override
  public int read(short[] into, int offset, int count) {
    int n = (int) Math.min(count, frames - next);
    System.arraycopy(samples, (int) next * channels, into, offset * channels, n * channels);
    next += n;
    return n;
  }

  @Override
  public long skip(long count) {
    long n = Math.min(count, frames - next);
    next += n;
    return n;
  }

  @Override public void close() {}
}
