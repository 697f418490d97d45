/**
 * Recordings in and out, streamed: {@link velmora.chordsmith.audio.PcmSource}, 16-bit PCM read
 * in order; {@link velmora.chordsmith.audio.AudioInput}, a file or standard input in any format
 * (javax.sound.sampled for WAV, AIFF and AU, FFmpeg through a pipe for the rest, surround folded
 * to stereo); {@link velmora.chordsmith.audio.AudioWriter}, any
 * {@link velmora.chordsmith.audio.OutputFormat} to a file that appears complete or not at all
 * ({@link velmora.chordsmith.audio.AtomicOutput}) or to a stream;
 * {@link velmora.chordsmith.audio.Passage}, a passage of a recording, primed and looped;
 * {@link velmora.chordsmith.audio.Audio}, a recording in memory, the example song among them; and
 * {@link velmora.chordsmith.audio.StereoImage}, how the two channels of a stream hold together.
 * Failures are {@link velmora.chordsmith.audio.FileException}s with messages about the file.
 * Knows nothing of the engine.
 */
package velmora.chordsmith.audio;
