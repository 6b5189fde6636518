#!/usr/bin/env bash
# Makes the media the tests play, with the ffmpeg tool, into the given folder.
# Files that already exist are kept, so a second run costs nothing.
set -euo pipefail
out=${1:?usage: make-test-media.sh OUTDIR}
mkdir -p "$out"
cd "$out"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
# make NAME ARGS...: runs ffmpeg into NAME unless it exists (written atomically).
make() {
  local name=$1; shift
  [ -s "$name" ] && return 0
  local tmp="tmp.${name}"
  ff "$@" "$tmp"
  mv "$tmp" "$name"
}

V="testsrc2=size=320x240:rate=30:duration=4"
A="sine=frequency=440:sample_rate=44100:duration=4"

# Containers and codecs.
make h264_aac.mp4 -f lavfi -i "$V" -f lavfi -i "$A" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 30 \
  -c:a aac -b:a 96k -shortest -movflags +faststart -f mp4
make vp9_opus.webm -f lavfi -i "$V" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=4" \
  -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 300k -g 30 -c:a libopus -shortest -f webm
make mpeg4_mp3.avi -f lavfi -i "$V" -f lavfi -i "$A" -c:v mpeg4 -q:v 5 -g 30 -c:a libmp3lame -shortest -f avi
make hevc.mkv -f lavfi -i "$V" -f lavfi -i "$A" -c:v libx265 -preset ultrafast -x265-params log-level=error \
  -pix_fmt yuv420p -g 30 -c:a aac -shortest -f matroska
make av1.mp4 -f lavfi -i "testsrc2=size=320x240:rate=30:duration=2" -f lavfi -i "sine=frequency=440:duration=2" \
  -c:v libaom-av1 -cpu-used 8 -usage realtime -b:v 200k -g 30 -c:a aac -shortest -f mp4
make video_only.mp4 -f lavfi -i "$V" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 30 -f mp4
make audio_only.m4a -f lavfi -i "$A" -c:a aac -f mp4
make one_frame.mp4 -f lavfi -i "$V" -frames:v 1 -c:v libx264 -pix_fmt yuv420p -f mp4

# Stream choice: V0 V1 A2 and V0 A1 V2 (V0 is 320x240, the other video 160x120).
make small.mp4 -f lavfi -i "testsrc2=size=160x120:rate=30:duration=4" -c:v libx264 -preset ultrafast \
  -pix_fmt yuv420p -f mp4
make v0_v1_a2.mkv -i video_only.mp4 -i small.mp4 -i audio_only.m4a -map 0:v -map 1:v -map 2:a -c copy -f matroska
make v0_a1_v2.mkv -i video_only.mp4 -i audio_only.m4a -i small.mp4 -map 0:v -map 1:a -map 2:v -c copy -f matroska

# Timing: a 48 kHz mono source.
make mono48k.mp4 -f lavfi -i "$V" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=4" \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 30 -c:a aac -ac 1 -ar 48000 -shortest -f mp4

# Raw RGB0 video, which a decoder outputs as AV_PIX_FMT_RGB0.
make rgb0.nut -f lavfi -i "testsrc2=size=320x240:rate=30:duration=2" -c:v rawvideo -pix_fmt rgb0 -f nut

# A solid colour per second with a tone per second (frequency 400 + 200 * second),
# so pixels and the recorded sound tell where playback is.
colours=(red lime blue yellow magenta cyan white gray)
if [ ! -s seconds.mp4 ]; then
  args=(); filt=""
  for i in "${!colours[@]}"; do
    args+=(-f lavfi -i "color=c=${colours[$i]}:size=320x240:rate=30:duration=1")
    filt+="[$i:v]"
  done
  n=${#colours[@]}
  args+=(-f lavfi -i "aevalsrc=0.5*sin(2*PI*(400+200*floor(t))*t):s=44100:d=$n")
  filt+="concat=n=$n:v=1:a=0[v]"
  ff "${args[@]}" -filter_complex "$filt" -map "[v]" -map "$n:a" -c:v libx264 -preset ultrafast \
    -pix_fmt yuv420p -g 15 -c:a aac -b:a 128k -shortest -movflags +faststart -f mp4 tmp.seconds.mp4
  mv tmp.seconds.mp4 seconds.mp4
fi

# Media as people have them, all showing a solid colour per second (red, lime,
# blue, yellow) with a tone per second (400 + 200 * second Hz), 4 s long,
# encoded from one lossless source each.
if [ ! -s rw_colours.mkv ]; then
  args=(); filt=""
  for i in 0 1 2 3; do
    args+=(-f lavfi -i "color=c=${colours[$i]}:size=320x240:rate=30:duration=1")
    filt+="[$i:v]"
  done
  ff "${args[@]}" -filter_complex "${filt}concat=n=4:v=1:a=0[v]" -map "[v]" -c:v ffv1 -f matroska tmp.rw_colours.mkv
  mv tmp.rw_colours.mkv rw_colours.mkv
fi
make rw_tones.wav -f lavfi -i "aevalsrc=0.5*sin(2*PI*(400+200*floor(t))*t):s=44100:d=4" -c:a pcm_s16le -f wav
RW=(-i rw_colours.mkv -i rw_tones.wav -map 0:v -map 1:a)
X264=(-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 15)
# MPEG-TS, whose first picture is at 1.4 s.
make rw_ts.ts "${RW[@]}" "${X264[@]}" -c:a aac -f mpegts
# One key picture, at the start: MPEG-TS has no index to seek back to it by.
make rw_longgop.ts "${RW[@]}" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 250 -c:a aac -f mpegts
# MP4 whose edit list starts the media 1 s into the movie.
make rw_editlist.mp4 "${RW[@]}" "${X264[@]}" -c:a aac -output_ts_offset 1 -f mp4
# Raw H.264 elementary stream: no time stamps, no duration.
make rw_raw.h264 -i rw_colours.mkv "${X264[@]}" -f h264
# Low sample rates: 22.05 kHz mono MP3 and 8 kHz mono mu-law.
make rw_mp3_22k.mkv "${RW[@]}" "${X264[@]}" -c:a libmp3lame -ar 22050 -ac 1 -f matroska
make rw_mulaw_8k.avi "${RW[@]}" -c:v mpeg4 -q:v 3 -g 15 -c:a pcm_mulaw -ar 8000 -ac 1 -f avi
# 5.1 FLAC with the same tone on every channel: the downmix must not pass its level.
make rw_51.mka -f lavfi -i "sine=frequency=440:duration=2" -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
  -c:a flac -f matroska
# IMA ADPCM in WAV: four blocks, each its own frame, to a packet.
make rw_adpcm.wav -f lavfi -i "$A" -c:a adpcm_ima_wav -f wav
# Live Matroska: the container does not know its duration.
make rw_live.mkv "${RW[@]}" "${X264[@]}" -c:a aac -live 1 -f matroska
# Two MPEG-TS recordings joined byte for byte: 44.1 kHz stereo, then 48 kHz mono.
if [ ! -s rw_joined.ts ]; then
  make rw_join1.ts -f lavfi -i "testsrc2=s=320x240:r=25:d=2" -f lavfi -i "sine=f=440:r=44100:d=2" -ac 2 \
    "${X264[@]}" -c:a aac -f mpegts
  make rw_join2.ts -f lavfi -i "testsrc2=s=320x240:r=25:d=2" -f lavfi -i "sine=f=880:r=48000:d=2" -ac 1 \
    "${X264[@]}" -c:a aac -output_ts_offset 2.065 -f mpegts
  cat rw_join1.ts rw_join2.ts > tmp.rw_joined.ts
  mv tmp.rw_joined.ts rw_joined.ts
fi
# Two MPEG-TS recordings joined byte for byte whose clocks both start at 1.4 s:
# the first two seconds of the clip, then the last two.
if [ ! -s rw_reset.ts ]; then
  make rw_reset1.ts "${RW[@]}" -t 2 "${X264[@]}" -c:a aac -f mpegts
  make rw_reset2.ts -ss 2 -i rw_colours.mkv -ss 2 -i rw_tones.wav -map 0:v -map 1:a "${X264[@]}" -c:a aac -f mpegts
  cat rw_reset1.ts rw_reset2.ts > tmp.rw_reset.ts
  mv tmp.rw_reset.ts rw_reset.ts
fi
# A chained Ogg stream: a second Vorbis link at another rate, its stamps from 0 again.
if [ ! -s rw_chained.ogg ]; then
  make rw_chain1.ogg -f lavfi -i "sine=f=440:r=44100:d=2" -c:a libvorbis -f ogg
  make rw_chain2.ogg -f lavfi -i "sine=f=880:r=48000:d=2" -ac 2 -c:a libvorbis -f ogg
  cat rw_chain1.ogg rw_chain2.ogg > tmp.rw_chained.ogg
  mv tmp.rw_chained.ogg rw_chained.ogg
fi
# One picture only.
make rw_one_frame.mp4 -i rw_colours.mkv -frames:v 1 "${X264[@]}" -f mp4
# Anamorphic: 240x240 stored, shown 4:3 (sample aspect ratio 4:3).
make rw_anamorphic.mp4 "${RW[@]}" -vf "scale=240:240,setsar=4/3" "${X264[@]}" -c:a aac -f mp4
# H.263 at a standard size in 3GP: the codec implies 12:11, the container says 1:1.
make rw_h263.3gp -f lavfi -i "testsrc2=size=176x144:rate=25:duration=2" -c:v h263 -f 3gp

# Broken input: garbage bytes, a truncated file, an audio codec no decoder knows.
[ -s garbage.bin ] || python3 -c "import random,sys; r=random.Random(7); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(200000)))" > garbage.bin
if [ ! -s truncated.mp4 ]; then
  size=$(stat -c %s h264_aac.mp4)
  head -c $((size / 2)) h264_aac.mp4 > tmp.truncated.mp4 && mv tmp.truncated.mp4 truncated.mp4
fi
if [ ! -s bad_audio.mkv ]; then
  ff -f lavfi -i "$V" -f lavfi -i "$A" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a pcm_s16le \
    -shortest -f matroska tmp.bad_audio.mkv
  # Rename the Matroska codec id so that no decoder matches it (same length).
  python3 - tmp.bad_audio.mkv <<'PY'
import sys
p = sys.argv[1]
b = open(p, 'rb').read()
assert b.count(b'A_PCM/INT/LIT') == 1
open(p, 'wb').write(b.replace(b'A_PCM/INT/LIT', b'A_QQQ/INT/LIT'))
PY
  mv tmp.bad_audio.mkv bad_audio.mkv
fi
# Sound against picture: a white flash and a 1 kHz beep for 0.1 s at every
# whole second, over a quiet 300 Hz tone (so a gap in the sound shows). In
# av_flash_late.mp4 the sound starts 1.5 s after the picture, still beeping
# with each flash.
FLASH="color=c=black:size=320x240:rate=30:duration=8,drawbox=color=white:t=fill:enable='lt(mod(t,1),0.1)'"
beep() { echo "aevalsrc=0.08*sin(2*PI*300*t)+if(lt(mod(t+$1\,1)\,0.1)\,0.6*sin(2*PI*1000*t)\,0):s=44100:d=$2"; }
make av_flash.mp4 -f lavfi -i "$FLASH" -f lavfi -i "$(beep 0 8)" -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  -g 30 -c:a aac -b:a 128k -f mp4
make av_flash_late.mp4 -f lavfi -i "$FLASH" -itsoffset 1.5 -f lavfi -i "$(beep 0.5 6.5)" -c:v libx264 \
  -preset ultrafast -pix_fmt yuv420p -g 30 -c:a aac -b:a 128k -f mp4
# A 0.5 s hole in the sound track's time stamps at 2 s; the beeps after it
# still come with the flashes.
GAP="0.08*sin(2*PI*300*t)+if(lt(mod(t+if(gte(t\\,2)\\,0.5\\,0)\\,1)\\,0.1)\\,0.6*sin(2*PI*1000*t)\\,0)"
make av_flash_gap.mkv -f lavfi -i "$FLASH" -f lavfi -i "aevalsrc=$GAP:s=44100:d=7.5,asetpts=PTS+if(gte(T\\,2)\\,0.5/TB\\,0)" \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 30 -c:a pcm_s16le -f matroska

# ---- Picture fidelity (e2e_fidelity, cuda_reference) ----
# Turned pictures: red, green, blue, yellow quadrants (top left, top right,
# bottom left, bottom right), 320x180, tagged to turn; ffmpeg's own turned
# first frame of each is the reference.
QUADRANTS="geq=r='if(lt(Y,H/2),if(lt(X,W/2),230,20),if(lt(X,W/2),20,230))':g='if(lt(X,W/2),20,230)':b='if(lt(Y,H/2),20,if(lt(X,W/2),230,20))'"
LOSSLESS=(-c:v libx264 -preset ultrafast -qp 0)
make fid_quadrants.mp4 -f lavfi -i "color=c=black:size=320x180:rate=10:duration=1,format=rgb24,$QUADRANTS" \
  "${LOSSLESS[@]}" -pix_fmt yuv420p -f mp4
for r in 90 180 270; do
  make fid_rot$r.mp4 -i fid_quadrants.mp4 -c copy -metadata:s:v:0 rotate=$r -f mp4
  make fid_rot$r.png -i fid_rot$r.mp4 -frames:v 1 -f image2
done
# 75 % bars with a known matrix and range: tagged BT.601 and BT.709 limited,
# BT.709 full range as a pixel format (yuvj420p) and as a tag only (VP9),
# BT.2020 (10-bit), and untagged below and at 1280x720.
BARS="smptebars=size=320x240:rate=10:duration=1,format=rgb24"
tag() { echo -colorspace "$1" -color_primaries "$2" -color_trc "$3" -color_range "$4"; }
make fid_bt601.mp4 -f lavfi -i "$BARS" -vf "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p" \
  "${LOSSLESS[@]}" $(tag smpte170m smpte170m smpte170m tv) -f mp4
make fid_bt709.mp4 -f lavfi -i "$BARS" -vf "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p" \
  "${LOSSLESS[@]}" $(tag bt709 bt709 bt709 tv) -f mp4
make fid_bt709_yuvj.mp4 -f lavfi -i "$BARS" -vf "scale=out_color_matrix=bt709:out_range=pc,format=yuvj420p" \
  "${LOSSLESS[@]}" $(tag bt709 bt709 bt709 pc) -f mp4
make fid_bt709_pc.webm -f lavfi -i "$BARS" -vf "scale=out_color_matrix=bt709:out_range=pc,format=yuv420p" \
  -c:v libvpx-vp9 -lossless 1 -deadline realtime -cpu-used 8 $(tag bt709 bt709 bt709 pc) -f webm
X265=(-c:v libx265 -preset ultrafast)
make fid_bt2020.mp4 -f lavfi -i "$BARS" -vf "scale=out_color_matrix=bt709:out_range=tv,format=yuv444p,\
colorspace=iall=bt709:all=bt2020:trc=bt2020-10:format=yuv420p10" "${X265[@]}" \
  -x265-params log-level=error:lossless=1 $(tag bt2020nc bt2020 bt2020-10 tv) -f mp4
make fid_untagged.mp4 -f lavfi -i "$BARS" -vf "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p" \
  "${LOSSLESS[@]}" -f mp4
make fid_untagged_720p.mp4 -f lavfi -i "smptebars=size=1280x720:rate=10:duration=1,format=rgb24" \
  -vf "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p" "${LOSSLESS[@]}" -f mp4
# HDR10: the bars with SDR white at 100 nits, in PQ and BT.2020, with
# mastering display and content light metadata.
make fid_hdr10.mp4 -f lavfi -i "$BARS" \
  -vf "zscale=pin=709:tin=709:npl=100:p=2020:t=smpte2084:m=2020_ncl:r=tv,format=yuv420p10le" "${X265[@]}" \
  -x265-params "log-level=error:lossless=1:hdr10=1:master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400" \
  $(tag bt2020nc bt2020 smpte2084 tv) -f mp4
# Interlaced MPEG-2 in MPEG-TS, top field first: vertical stripes moving 4
# pixels per field, which comb unless deinterlaced.
make fid_interlaced.ts -f lavfi \
  -i "color=c=black:size=320x240:rate=50:duration=2,format=gray,geq=lum='16+219*mod(floor((X+4*N)/8),2)',format=yuv420p,tinterlace=interleave_top,setfield=tff" \
  -c:v mpeg2video -q:v 2 -flags +ilme+ildct -top 1 -f mpegts
# ---- end of picture fidelity ----
# Stereoscopic, as Matroska marks it: the top half red (the left eye), the bottom blue.
make stereo_tb.mkv -f lavfi -i "color=c=red:s=512x512:r=25:d=4" -vf "drawbox=x=0:y=256:w=512:h=256:color=blue:t=fill" \
  -metadata:s:v stereo_mode=top_bottom "${X264[@]}" -f matroska
# Track choice and sound-only files. two_tracks.mkv: video, a 440 Hz mono track,
# then an 880 Hz stereo 48 kHz track flagged as the default one (the player
# plays that one). music_cover.mp3: sound with a PNG cover picture.
# video_cover.mp4: a silent video whose cover picture is the last video stream.
# truncated_moov.mp4: the first half of an MP4 whose index (moov) is at the end.
make cover.png -f lavfi -i "color=c=orange:size=64x48" -frames:v 1 -f image2
make two_tracks.mkv -f lavfi -i "$V" -f lavfi -i "$A" -f lavfi -i "sine=frequency=880:sample_rate=48000:duration=4" \
  -map 0 -map 1 -map 2 "${X264[@]}" -c:a aac -ac:a:1 2 -disposition:a:0 0 -disposition:a:1 default -f matroska
make music_cover.mp3 -f lavfi -i "$A" -i cover.png -map 0 -map 1 -c:a libmp3lame -c:v png \
  -disposition:v attached_pic -id3v2_version 3 -f mp3
make video_cover.mp4 -f lavfi -i "$V" -i cover.png -map 0 -map 1 -c:v:0 libx264 -preset ultrafast -pix_fmt yuv420p \
  -c:v:1 png -disposition:v:1 attached_pic -f mp4
if [ ! -s truncated_moov.mp4 ]; then
  head -c $(($(stat -c %s video_only.mp4) / 2)) video_only.mp4 > tmp.truncated_moov.mp4
  mv tmp.truncated_moov.mp4 truncated_moov.mp4
fi

echo "test media ready in $out"
