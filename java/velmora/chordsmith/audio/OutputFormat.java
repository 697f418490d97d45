package velmora.chordsmith.audio;

import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * The formats a stretch can be written in, chosen by the output name's extension. WAV is written
 * here; the others through FFmpeg, with settings a musician would pick for listening: MP3 at
 * VBR quality 2 (about 190 kbit/s), Ogg Vorbis at quality 6 (about 190 kbit/s), Opus at
 * 160 kbit/s (at 48 kHz, the rate Opus works at), AAC in M4A at 256 kbit/s. WAV, FLAC and AIFF
 * hold 16 or 24 bits; the engine's samples are 16-bit, so 24 bits carry them unchanged in the
 * top two bytes.
 */
public enum OutputFormat {
  WAV("WAV", true, "wav", "wave"),
  FLAC("FLAC", true, "flac"),
  AIFF("AIFF", true, "aiff", "aif"),
  MP3("MP3", false, "mp3"),
  OGG("Ogg Vorbis", false, "ogg", "oga"),
  OPUS("Opus", false, "opus"),
  M4A("AAC (M4A)", false, "m4a");

  public final String label;
  /** Whether the format holds PCM of a chosen depth, 16 or 24 bits. */
  public final boolean lossless;
  private final String[] extensions;

  OutputFormat(String label, boolean lossless, String... extensions) {
    this.label = label;
    this.lossless = lossless;
    this.extensions = extensions;
  }

  /** The format a file name's extension asks for, or null when it has none or no writer serves it. */
  public static OutputFormat forFileName(String name) {
    int dot = name.lastIndexOf('.');
    return dot <= 0 ? null : named(name.substring(dot + 1));
  }

  /** The format with this name or extension ("flac", "MP3", "aif"), or null. */
  public static OutputFormat named(String name) {
    String n = name.toLowerCase(Locale.ROOT);
    for (OutputFormat f : values()) {
      for (String e : f.extensions) {
        if (e.equals(n)) return f;
      }
    }
    return null;
  }

  /** The usual extension, without the dot. */
  public String extension() { return extensions[0]; }

  /** ".wav, .flac, ... or .m4a", for messages. */
  public static String choices() {
    List<String> names = new ArrayList<>();
    for (OutputFormat f : values()) names.add("." + f.extension());
    return String.join(", ", names.subList(0, names.size() - 1)) + " or " + names.get(names.size() - 1);
  }

  /** FFmpeg's encoder and muxer options for {@code bits} per sample, writing to a pipe or to a file. */
  List<String> ffmpegOptions(int bits, boolean toPipe) {
    return switch (this) {
      case WAV -> throw new IllegalArgumentException("WAV is written without FFmpeg");
      case FLAC -> bits == 24
          ? List.of("-c:a", "flac", "-sample_fmt", "s32", "-bits_per_raw_sample", "24", "-f", "flac")
          : List.of("-c:a", "flac", "-f", "flac");
      case AIFF -> List.of("-c:a", bits == 24 ? "pcm_s24be" : "pcm_s16be", "-f", "aiff");
      case MP3 -> List.of("-c:a", "libmp3lame", "-q:a", "2", "-f", "mp3");
      case OGG -> List.of("-c:a", "libvorbis", "-q:a", "6", "-f", "ogg");
      case OPUS -> List.of("-c:a", "libopus", "-b:a", "160k", "-f", "opus");
      // An MP4 container writes its index after the data; on a pipe it cannot go back for it,
      // so it is written in fragments instead.
      case M4A -> toPipe
          ? List.of("-c:a", "aac", "-b:a", "256k", "-movflags", "+frag_keyframe+empty_moov", "-f", "ipod")
          : List.of("-c:a", "aac", "-b:a", "256k", "-f", "ipod");
    };
  }
}
