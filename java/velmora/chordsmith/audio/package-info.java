/**
 * Recordings in and out: {@link velmora.chordsmith.audio.Audio} in memory as the engine takes it
 * (16-bit PCM, mono or interleaved stereo), read and written through javax.sound.sampled;
 * {@link velmora.chordsmith.audio.Pcm16} packing; files that appear complete or not at all
 * ({@link velmora.chordsmith.audio.AtomicOutput}); the built-in example song. Failures are
 * {@link velmora.chordsmith.audio.FileException}s with messages about the file. Knows nothing of
 * the engine.
 */
package velmora.chordsmith.audio;
