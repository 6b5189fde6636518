// declaration owned by the audio work; constructor fixed:
// QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue,
//               FreePool<AudioBuffer> *freePool);  bases QObject, IAudioPlayer
