[playlist]
NumberOfEntries=2
File1=${STREAM_BASE}/offline.mp3
Title1=An address that is gone
File2=${STREAM_BASE}/tone890.ogg
Title2=Tone 890 Hz
Version=2
