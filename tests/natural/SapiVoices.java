import natural.sapi.*;

/** Lists the installed voices and speaks with the first one. */
public class SapiVoices {
    public static void main(String[] args) {
        try (SpVoice voice = new SpVoice()) {
            ISpeechObjectTokens voices = voice.GetVoices();
            System.out.println(voices.getCount() + " voices");
            for (ISpeechObjectToken token : voices)
                System.out.println(token.getId() + ": " + token.GetDescription());
            for (ISpeechObjectToken token : voices) {
                voice.setVoice(token);
                break;
            }
            voice.setRate(1);
            voice.Speak("Hello from Java", SpeechVoiceSpeakFlags.SVSFDefault);
        }
    }
}
