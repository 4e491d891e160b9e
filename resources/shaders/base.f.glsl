#version 400 core
in vec2 textCoordinate;
uniform sampler2D uniPlaceHolder;
out vec4 outColor;

void main()
{
    outColor = texture(uniPlaceHolder, textCoordinate);
}
