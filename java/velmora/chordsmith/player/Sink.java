package velmora.chordsmith.player;

/**
 * Where the player's audio goes: a sound device, or a stand-in that consumes it at the same
 * pace. Samples are 16-bit PCM, interleaved when stereo, {@code frames} counting samples per
 * channel. Called from the audio thread only.
 */
public interface Sink extends AutoCloseable {
  /** Takes {@code frames} frames of {@code samples}, waiting while the buffer is full. */
  void write(short[] samples, int frames);

  /** Frames of this stream that have been played out so far. */
  long played();

  /** Frames the sink buffers ahead of what is heard. */
  int bufferFrames();

  /** One line for the window: which device, or why there is none. */
  String describe();

  /** True when the audio really reaches a speaker. */
  boolean audible();

  @Override
  void close();

  /** Opens a sink for a stream of {@code channels} at {@code sampleRate}. */
  interface Factory {
    Sink open(int sampleRate, int channels);
  }
}
