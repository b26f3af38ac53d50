#pragma once

// The words Sonvetta shares with the players, with its bridge and with those
// who look at its strip: the notifications it listens for, the keys it reads
// from them, and its window's title.
namespace sonvetta::vocabulary {

inline constexpr char musicAppNotification[] = "com.apple.iTunes.playerInfo";
inline constexpr char spotifyNotification[] = "com.spotify.client.PlaybackStateChanged";

// The playback state, under a key of each player's own; only "Playing" plays.
inline constexpr char musicAppStateKey[] = "Player State";
inline constexpr char spotifyStateKey[] = "PlayerState";
inline constexpr char playing[] = "Playing";
inline constexpr char artistKey[] = "Artist";
inline constexpr char albumKey[] = "Album";
inline constexpr char titleKey[] = "Name";

inline constexpr char statusBarTitle[] = "Sonvetta status bar";

}  // namespace sonvetta::vocabulary
