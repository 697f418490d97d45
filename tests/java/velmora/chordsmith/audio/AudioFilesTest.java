package velmora.chordsmith.audio;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import javax.sound.sampled.AudioFileFormat;
import javax.sound.sampled.AudioFormat;
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Reading what javax.sound.sampled knows into 16-bit PCM, writing WAV, and refusing the rest. */
class AudioFilesTest {
  private static final AudioFileFormat.Type WAVE = AudioFileFormat.Type.WAVE;

  @TempDir Path dir;

  /** The test tone as a 16-bit FLAC file, written through FFmpeg. */
  private Path toneFlac() throws Exception {
    Path flac = dir.resolve("tone.flac");
    try (AudioWriter w = AudioWriter.toFile(flac, OutputFormat.FLAC, 44100, 2, 16)) {
      w.write(tone().samples, 0, 44100);
      w.finish();
    }
    return flac;
  }

  private Path write(String name, AudioFormat format, byte[] data, AudioFileFormat.Type type)
      throws Exception {
    Path path = dir.resolve(name);
    long frames = data.length / format.getFrameSize();
    AudioInputStream s = new AudioInputStream(new ByteArrayInputStream(data), format, frames);
    AudioSystem.write(s, type, path.toFile());
    return path;
  }

  @Test
  void writesAndReadsBack16BitStereoExactly() throws Exception {
    short[] samples = {0, 1, -1, 32767, -32768, 1234, -4321, 7};
    Audio audio = new Audio(samples, 2, 22050);
    Path path = dir.resolve("a.wav");
    try (OutputStream out = Files.newOutputStream(path)) {
      audio.writeWav(out);
    }
    Audio back = Audio.read(path);
    assertArrayEquals(samples, back.samples);
    assertEquals(2, back.channels);
    assertEquals(22050, back.sampleRate);
    assertEquals(4, back.frames);
  }

  @Test
  void convertsOtherSampleFormatsTo16Bits() throws Exception {
    // 24-bit big-endian AIFF: 0x123456 keeps its top 16 bits.
    AudioFormat f24 = new AudioFormat(AudioFormat.Encoding.PCM_SIGNED, 48000, 24, 1, 3, 48000, true);
    byte[] data24 = {0x12, 0x34, 0x56, (byte) 0x80, 0, 0};
    Audio a = Audio.read(write("a.aiff", f24, data24, AudioFileFormat.Type.AIFF));
    assertArrayEquals(new short[] {0x1234, -32768}, a.samples);
    assertEquals(48000, a.sampleRate);
    // 8-bit unsigned WAV: 128 is silence, 255 nearly full scale.
    AudioFormat f8 = new AudioFormat(AudioFormat.Encoding.PCM_UNSIGNED, 8000, 8, 1, 1, 8000, false);
    byte[] data8 = {(byte) 128, (byte) 255, 0};
    Audio b = Audio.read(write("b.wav", f8, data8, AudioFileFormat.Type.WAVE));
    assertEquals(3, b.samples.length);
    assertEquals(0, b.samples[0]);
    assertTrue(b.samples[1] >= 127 << 8);
    assertEquals(-32768, b.samples[2]);
  }

  private static String refusal(Path path) {
    return assertThrows(FileException.class, () -> Audio.read(path)).getMessage();
  }

  @Test
  void refusesWhatItCannotStretchWithAMessageAboutTheFile() throws Exception {
    assertTrue(refusal(dir.resolve("missing.wav")).startsWith("no such file"));
    assertTrue(refusal(dir).contains("is a folder"));
    Path text = Files.writeString(dir.resolve("notes.wav"), "these are not samples, just words in a file");
    assertTrue(refusal(text).contains("not in an audio format this tool can read (FFmpeg: Invalid data"));
    AudioFormat mono = new AudioFormat(44100, 16, 1, true, false);
    assertTrue(refusal(write("empty.wav", mono, new byte[0], WAVE)).contains("no audio"));
    AudioFormat slow = new AudioFormat(2000, 16, 1, true, false);
    assertTrue(refusal(write("slow.wav", slow, new byte[4], WAVE)).contains("sample rate"));
  }

  /** One second of a 440 Hz stereo tone at 44.1 kHz, quieter on the right. */
  static Audio tone() {
    short[] samples = new short[2 * 44100];
    for (int i = 0; i < 44100; i++) {
      double v = 12000 * Math.sin(2 * Math.PI * 440 * i / 44100);
      samples[2 * i] = (short) Math.round(v);
      samples[2 * i + 1] = (short) Math.round(v / 2);
    }
    return new Audio(samples, 2, 44100);
  }

  static double rms(short[] samples, int channel, int from, int to) {
    double sum = 0;
    for (int i = from; i < to; i++) sum += (double) samples[2 * i + channel] * samples[2 * i + channel];
    return Math.sqrt(sum / (to - from));
  }

  @Test
  void writesEveryFormatAndReadsItBackThroughFfmpeg() throws Exception {
    Audio tone = tone();
    for (OutputFormat format : OutputFormat.values()) {
      for (int bits : format.lossless ? new int[] {16, 24} : new int[] {16}) {
        Path path = dir.resolve("tone-" + bits + "." + format.extension());
        try (AudioWriter w = AudioWriter.toFile(path, format, 44100, 2, bits)) {
          // In two pieces, as a stretch writes it block by block.
          w.write(tone.samples, 0, 30000);
          w.write(tone.samples, 30000, 44100 - 30000);
          w.finish();
        }
        Audio back = Audio.read(path);
        String where = format + " " + bits;
        assertEquals(2, back.channels, where);
        if (format.lossless) {
          // 24 bits carry the 16-bit samples unchanged in their top two bytes. (javax.sound.sampled
          // reads 24 bits to 16 by scaling, so those are checked in the file's own bytes.)
          boolean raw = bits == 24 && format != OutputFormat.FLAC;
          assertArrayEquals(tone.samples, raw ? top16(path) : back.samples, where);
        } else {
          // Opus works at 48 kHz; the others keep the rate. Encoders may pad the ends a little.
          assertEquals(format == OutputFormat.OPUS ? 48000 : 44100, back.sampleRate, where);
          assertEquals(back.sampleRate, back.frames, back.sampleRate / 20.0, where);
          int mid = (int) back.frames / 2;
          assertEquals(12000 / Math.sqrt(2), rms(back.samples, 0, mid - 4000, mid + 4000), 600, where);
          assertEquals(6000 / Math.sqrt(2), rms(back.samples, 1, mid - 4000, mid + 4000), 300, where);
        }
      }
    }
  }

  /** The top 16 bits of each sample of a 24-bit WAV or AIFF file, as stored. */
  static short[] top16(Path path) throws Exception {
    try (AudioInputStream in = AudioSystem.getAudioInputStream(path.toFile())) {
      AudioFormat f = in.getFormat();
      assertEquals(24, f.getSampleSizeInBits());
      byte[] b = in.readAllBytes();
      short[] s = new short[b.length / 3];
      for (int i = 0; i < s.length; i++) {
        int hi = f.isBigEndian() ? b[3 * i] : b[3 * i + 2];
        int mid = b[3 * i + 1];
        s[i] = (short) (hi << 8 | (mid & 0xff));
      }
      return s;
    }
  }

  @Test
  void readsStandardInputInAnyFormat() throws Exception {
    Path flac = toneFlac();
    Path wav = dir.resolve("tone.wav");
    try (OutputStream out = Files.newOutputStream(wav)) {
      tone().writeWav(out);
    }
    for (Path p : new Path[] {flac, wav}) {
      try (AudioInput in = AudioInput.open(Files.newInputStream(p), "standard input")) {
        short[] samples = new short[2 * 50000];
        assertEquals(44100, in.read(samples, 0, 50000), p.toString());
        assertArrayEquals(tone().samples, Arrays.copyOf(samples, 2 * 44100), p.toString());
      }
    }
  }

  @Test
  void foldsSurroundToStereoWithTheUsualCoefficients() throws Exception {
    // 5.1: front left and right, centre, LFE, surrounds; each channel a constant.
    short[] frame = {1000, 2000, 3000, 20000, 4000, 5000};
    byte[] data = new byte[2 * frame.length * 100];
    for (int i = 0; i < 100; i++) System.arraycopy(Pcm16.pack(frame, 0, 6), 0, data, 12 * i, 12);
    // Through javax.sound.sampled, no channel mask: the usual 5.1 order is assumed.
    Path wav = write("six.wav", new AudioFormat(44100, 16, 6, true, false), data, WAVE);
    // Through FFmpeg, which says where each channel goes (here the surrounds are at the sides).
    Path flac = dir.resolve("six.flac");
    Process p = new ProcessBuilder("ffmpeg", "-v", "error", "-y", "-f", "s16le", "-ar", "44100", "-ch_layout",
        "5.1(side)", "-i", "pipe:0", flac.toString()).start();
    try (OutputStream in = p.getOutputStream()) {
      in.write(data);
    }
    assertEquals(0, p.waitFor());
    for (Path path : new Path[] {wav, flac}) {
      try (AudioInput in = AudioInput.open(path)) {
        assertEquals(2, in.channels());
        assertEquals(6, in.sourceChannels);
        assertEquals("5.1", in.downmixedLayout);
        short[] stereo = new short[200];
        assertEquals(100, in.read(stereo, 0, 100));
        // Centre and surrounds at -3 dB, the LFE dropped.
        double h = Math.sqrt(0.5);
        assertEquals(Math.round(1000 + h * 3000 + h * 4000), stereo[198], path.toString());
        assertEquals(Math.round(2000 + h * 3000 + h * 5000), stereo[199], path.toString());
      }
    }
  }

  @Test
  void aMissingFfmpegIsNamedWithThePackageThatBringsIt() throws Exception {
    Path flac = toneFlac();
    System.setProperty("chordsmith.ffmpeg", dir.resolve("no-ffmpeg-here").toString());
    try {
      assertTrue(refusal(flac).contains("needs FFmpeg") && refusal(flac).contains("apt install ffmpeg"));
      FileException writing = assertThrows(FileException.class,
          () -> AudioWriter.toFile(dir.resolve("out.mp3"), OutputFormat.MP3, 44100, 2, 16));
      assertTrue(writing.getMessage().contains("apt install ffmpeg"), writing.getMessage());
      assertFalse(Files.exists(dir.resolve("out.mp3")));
    } finally {
      System.clearProperty("chordsmith.ffmpeg");
    }
  }
}
