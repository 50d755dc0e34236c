${SERVER_BASE}/playlists/tone890.pls
