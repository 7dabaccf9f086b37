#version 430 core

// A round glow with a soft rim and a hot centre. Fountain drops are a cool
// blue, burst sparks burn from white-gold to a warm colour that differs from
// burst to burst; both fade with age. The result is max-blended, so only the
// colour matters: black adds nothing and alpha is not used.

in Sprite
{
    vec2 offset;
    flat float burst;
    flat float age;
    flat float phase;
} sprite;

layout(location = 0) out vec4 fragColor;

void main()
{
    float r = length(sprite.offset); // 0 at the centre, 1 on the rim
    if (r >= 1.0)
        discard;
    // Falls smoothly to 0 at the rim.
    float glow = 1.0 - smoothstep(0.0, 1.0, r);
    float core = 1.0 - smoothstep(0.0, 0.3, r);

    vec3 colour;
    float fade;
    if (sprite.burst < 0.5) {
        // Drops flicker a little from one to the next (phase steps 0.0375 s).
        float flicker = 0.85 + 0.15 * fract(sprite.phase * 26.6667 * 0.618034);
        colour = vec3(0.35, 0.65, 1.0) * flicker;
        // Full brightness for most of the arc, gone at the end of life.
        fade = 1.0 - smoothstep(0.6, 1.0, sprite.age);
    } else {
        // Each burst picks its hue between gold and rose from its launch time.
        float hue = fract(sprite.phase * 0.37);
        vec3 ember = mix(vec3(1.0, 0.5, 0.1), vec3(1.0, 0.25, 0.4), hue);
        colour = mix(vec3(1.0, 0.8, 0.35), ember, smoothstep(0.0, 0.5, sprite.age));
        // Bright while the sparks fly out, then dying away.
        fade = 1.0 - smoothstep(0.3, 1.0, sprite.age);
    }
    colour = mix(colour, vec3(1.0), 0.4 * core); // white-hot centre
    fragColor = vec4(colour * glow * fade, glow * fade);
}
