-- Quellor's LV2 plug-in in Ardour, headless (ardour7-lua, "None (Dummy)"
-- backend). Two runs, in separate processes:
--   ardour-session.lua create FOLDER  makes a session with a MIDI track that
--       plays Quellor, sets a few of its parameters, plays a note and saves;
--   ardour-session.lua reload FOLDER  opens that session again, plays the same
--       note and saves it once more.
-- Each run prints "params" (all 43 control values) and "level" (the track's
-- audio peak over the note, dB) for the calling script to compare.
local mode, folder = arg[1], arg[2]
local name = "quellor"
local uri = "urn:tavrino:quellor"
local parameters = 43

AudioEngine:set_backend("None (Dummy)", "", "")
if mode == "create" then
    Session = create_session(folder, name, 48000)
else
    Session = load_session(folder, name)
end
if not Session then
    print("error: no session")
    os.exit(1)
end

local track
if mode == "create" then
    local info = ARDOUR.LuaAPI.new_plugin_info(uri, ARDOUR.PluginType.LV2)
    if info:isnil() then
        print("error: Ardour does not find " .. uri)
        os.exit(1)
    end
    local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
    local audio = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
    local tracks = Session:new_midi_track(midi, audio, true, info, nil, nil, 1, "Synth",
        ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
    track = tracks:front()
else
    track = Session:route_by_name("Synth")
end
if not track or track:isnil() then
    print("error: no track")
    os.exit(1)
end
local insert = track:nth_plugin(0):to_insert()
if insert:isnil() or insert:plugin(0):name() ~= "Quellor" then
    print("error: no Quellor on the track")
    os.exit(1)
end

if mode == "create" then
    -- Master Level, Flt1: Cutoff, Flt1: Mode, Reverb: Enable.
    ARDOUR.LuaAPI.set_plugin_insert_param(insert, 0, 0.6)
    ARDOUR.LuaAPI.set_plugin_insert_param(insert, 37, 0.4)
    ARDOUR.LuaAPI.set_plugin_insert_param(insert, 39, 0.34)
    ARDOUR.LuaAPI.set_plugin_insert_param(insert, 33, 1.0)
end
-- Let a few cycles pass so that the plug-in has taken its ports.
ARDOUR.LuaAPI.usleep(200000)

local values = {}
for i = 0, parameters - 1 do
    values[#values + 1] = string.format("%.4f", ARDOUR.LuaAPI.get_plugin_insert_param(insert, i))
end
print("params " .. table.concat(values, " "))

-- A note straight into the plug-in, held for half a second, then released.
local on = C.ByteVector()
on:add({0x90, 60, 100})
local off = C.ByteVector()
off:add({0x80, 60, 0})
insert:write_immediate_event(Evoral.EventType.MIDI_EVENT, 3, on:to_array())
local peak = -200
for i = 1, 40 do
    ARDOUR.LuaAPI.usleep(20000)
    if i == 25 then insert:write_immediate_event(Evoral.EventType.MIDI_EVENT, 3, off:to_array()) end
    -- The meter counts the MIDI channel first, then the two audio channels.
    local meter = track:peak_meter()
    local first = meter:input_streams():n_midi()
    for c = first, first + 1 do
        local level = meter:meter_level(c, ARDOUR.MeterType.MeterPeak)
        if level > peak then peak = level end
    end
end
print(string.format("level %.2f", peak))

Session:save_state("", false, false, false)
close_session()
