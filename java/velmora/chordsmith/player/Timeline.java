package velmora.chordsmith.player;

/**
 * Which moment of the recording the listener hears: the input position of every output frame,
 * through the engine's delay, speed changes, loop joins and seeks, and then through the sound
 * device's buffer. Used by the audio thread only; it publishes what it finds.
 *
 * <p>The engine analyses a frame of {@code frameSize} input frames each time a hop of
 * {@code stepIn} frames arrives, and lays that frame down {@code stepOut} output frames after the
 * previous one. A frame's centre in the input is the first frame of the hop fed
 * {@code frameSize / (2 stepIn) - 1} hops before the hop that completes it; its centre in the
 * output sits half a frame after where it was laid. Between two frame centres the output moves
 * through the input at the speed {@code stepIn / stepOut}. That places every output frame in the
 * input, with no estimate of the delay: it follows from where each frame went.
 *
 * <p>Then the device: each block written to it starts at a known frame of its stream, and the
 * device reports how many frames it has played; the block that holds that frame gives the
 * position heard.
 */
final class Timeline {
  private static final int FRAMES = 64;  // far more frames than overlap any output frame
  private static final int BLOCKS = 256;  // far more blocks than any device buffer holds

  private final int frameSize;
  private final int stepIn;
  private final int centreLag;

  // Input label of each hop fed (the input frame its first sample stands for), by hop number.
  private final long[] hopLabel = new long[FRAMES];
  private long hops;
  // Frames laid down, by frame number: output start, input centre, hop to the next frame.
  private final long[] frameStart = new long[FRAMES];
  private final long[] frameCentre = new long[FRAMES];
  private final int[] frameHop = new int[FRAMES];
  private long framesLaid;
  private long outputFrames;
  private double speed = 1;

  // Blocks written to the device: where each starts in its stream and in the input.
  private final long[] blockSink = new long[BLOCKS];
  private final int[] blockFrames = new int[BLOCKS];
  private final double[] blockPosition = new double[BLOCKS];
  private final double[] blockSpeed = new double[BLOCKS];
  private final float[] blockPeak = new float[BLOCKS];
  private final long[] blockSerial = new long[BLOCKS];
  private long blocks;
  private long sinkFrames;
  private long heardBlocks;  // blocks whose peak the meter has had

  Timeline(int frameSize, int stepIn) {
    if (frameSize % (2 * stepIn) != 0) throw new IllegalArgumentException("half a frame must be whole hops");
    this.frameSize = frameSize;
    this.stepIn = stepIn;
    this.centreLag = frameSize / (2 * stepIn) - 1;
  }

  /**
   * A fresh engine, about to be fed from input frame {@code start}. It pads its first frame with
   * silence, which stands for the input just before the start.
   */
  void restartEngine(long start) {
    hops = 0;
    framesLaid = 0;
    outputFrames = 0;
    for (int k = 1; k <= centreLag; k++) hopLabel[Math.floorMod(-k, FRAMES)] = start - (long) k * stepIn;
  }

  /** A new device stream: nothing written to it yet. */
  void restartSink() {
    blocks = 0;
    heardBlocks = 0;
    sinkFrames = 0;
  }

  /** The engine was fed a hop whose first sample stands for input frame {@code label}. */
  void fed(long label) { hopLabel[(int) (hops++ % FRAMES)] = label; }

  /**
   * The hop just fed completed a frame and the engine emitted {@code stepOut} frames. Returns the
   * input position of the first frame emitted; {@link #speed} then holds the speed there.
   */
  double emitted(int stepOut) {
    long j = framesLaid++;
    int slot = (int) (j % FRAMES);
    frameStart[slot] = outputFrames;
    frameCentre[slot] = hopLabel[(int) Math.floorMod(hops - 1 - centreLag, (long) FRAMES)];
    frameHop[slot] = stepOut;
    // The frame centred last at or before the first frame emitted; before the first centre,
    // the first frame, extrapolated backwards as if the same hops had gone before.
    long oldest = Math.max(0, framesLaid - FRAMES);
    long k = framesLaid - 1;
    while (k > oldest && frameStart[(int) (k % FRAMES)] + frameSize / 2 > outputFrames) k--;
    int c = (int) (k % FRAMES);
    speed = (double) stepIn / frameHop[c];
    double position = frameCentre[c] + (outputFrames - frameStart[c] - frameSize / 2) * speed;
    outputFrames += stepOut;
    return position;
  }

  /** Input frames per output frame at the start of the block last emitted. */
  double speed() { return speed; }

  /** Engine output frames emitted since the engine restarted. */
  long engineOutput() { return outputFrames; }

  /**
   * A block of {@code count} frames went to the device: it starts at input {@code position} and
   * moves through the input at {@code speed}; {@code peak} is its level, {@code serial} the last
   * seek its feed had taken.
   */
  void written(int count, double position, double speed, float peak, long serial) {
    int slot = (int) (blocks++ % BLOCKS);
    blockSink[slot] = sinkFrames;
    blockFrames[slot] = count;
    blockPosition[slot] = position;
    blockSpeed[slot] = speed;
    blockPeak[slot] = peak;
    blockSerial[slot] = serial;
    sinkFrames += count;
    if (blocks - heardBlocks > BLOCKS) heardBlocks = blocks - BLOCKS;
  }

  /** Frames written to the device since its stream began. */
  long sinkFrames() { return sinkFrames; }

  /** What the listener hears once the device has played {@code played} frames of its stream. */
  record Heard(double position, float peak, long serial) {}

  /**
   * The position heard after {@code played} frames, the loudest peak among the blocks that began
   * to sound since the last call, and the seek heard last. Null before anything was written.
   */
  Heard heard(long played) {
    if (blocks == 0) return null;
    long oldest = Math.max(0, blocks - BLOCKS);
    long b = blocks - 1;
    while (b > oldest && blockSink[(int) (b % BLOCKS)] > played) b--;
    int slot = (int) (b % BLOCKS);
    long into = Math.max(0, Math.min(blockFrames[slot], played - blockSink[slot]));
    double position = blockPosition[slot] + into * blockSpeed[slot];
    float peak = 0;
    for (long k = Math.max(heardBlocks, oldest); k <= b; k++) {
      peak = Math.max(peak, blockPeak[(int) (k % BLOCKS)]);
    }
    heardBlocks = Math.max(heardBlocks, b + 1);
    return new Heard(position, peak, blockSerial[slot]);
  }
}
